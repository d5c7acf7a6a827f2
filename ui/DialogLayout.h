#pragma once

#include <wx/font.h>
#include <wx/gdicmn.h>

class wxWindow;

// The dialogs are laid out in dialog units, which derive from the dialog's font, so the font
// decides whether the layout holds. "MS UI Gothic" does not exist on Linux (fontconfig would
// quietly substitute a Latin face); IPAPGothic keeps the proportions, Noto Sans CJK JP comes
// closest after it.

// The 9-point font of both dialogs: the first of "MS UI Gothic", "IPAPGothic" and
// "Noto Sans CJK JP" that fontconfig really has, under whatever name the locale gives it;
// else the last of them by name.
wxFont DialogFont();

// A rectangle given in the dialog units of dialog, in pixels of its client area. Like
// Windows, converts the corners, so neighbouring controls stay flush.
// The dialog's font must be set first.
wxRect DialogUnitsToPixels(const wxWindow& dialog, int x, int y, int width, int height);

// A size given in dialog units, in pixels.
wxSize DialogUnitsToPixels(const wxWindow& dialog, int width, int height);
