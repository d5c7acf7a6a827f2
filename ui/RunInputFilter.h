#pragma once

#include <functional>

#include <wx/eventfilter.h>

class wxWindow;

// While it exists, keyboard and mouse input to a dialog comes to nothing, except what can
// stop a run: Esc anywhere in the dialog (reported through onEscape), the mouse on the stop
// and exit buttons, and Enter or the space bar while the stop button has the focus. The
// window manager's close and painting are not input and pass untouched. Input to other
// windows is not touched either.
class CRunInputFilter final : public wxEventFilter {
public:
    CRunInputFilter(wxWindow& dialog, wxWindow& stopButton, wxWindow& exitButton,
                    std::function<void()> onEscape);
    ~CRunInputFilter() override;
    CRunInputFilter(const CRunInputFilter&) = delete;
    CRunInputFilter& operator=(const CRunInputFilter&) = delete;

    int FilterEvent(wxEvent& event) override;

private:
    wxWindow& m_dialog;
    wxWindow& m_stopButton;
    wxWindow& m_exitButton;
    std::function<void()> m_onEscape;
};
