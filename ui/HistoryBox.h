#pragma once

#include <string>

#include <wx/dialog.h>

class wxWindow;

// The last runs of the run history (RunHistory.h), one line each in the user's language
// (DescribeHistoryRecord), oldest first; a sentence when there is none yet, or why the history
// cannot be read.
std::string RunHistoryText();

// The run history in a read-only box with an OK button, modal over the main dialog; Esc, Enter
// and the close box close it.
class CHistoryBox : public wxDialog {
public:
    explicit CHistoryBox(wxWindow* parent);
};
