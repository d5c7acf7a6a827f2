#pragma once

#include <wx/dialog.h>

// The About box: the icon, the product name, the version and an OK button, laid out in
// dialog units. It is shown modally over the main dialog and closes with OK, Enter, Esc or
// the close button.
class CAboutDlg : public wxDialog {
public:
    // Builds the box, centred over parent.
    explicit CAboutDlg(wxWindow* parent);
};
