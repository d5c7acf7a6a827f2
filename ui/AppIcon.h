#pragma once

#include <wx/icon.h>

// The program's icon: a source cylinder, an arrow and a target cylinder, drawn in the
// 16-colour palette.

// The 32 x 32 picture.
wxIcon LoadAppIcon();

// The 16 x 16 picture.
wxIcon LoadSmallAppIcon();
