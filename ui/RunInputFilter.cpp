#include "ui/RunInputFilter.h"

#include <utility>

#include <wx/event.h>
#include <wx/toplevel.h>
#include <wx/window.h>

CRunInputFilter::CRunInputFilter(wxWindow& dialog, wxWindow& stopButton, wxWindow& exitButton,
                                 std::function<void()> onEscape)
    : m_dialog(dialog),
      m_stopButton(stopButton),
      m_exitButton(exitButton),
      m_onEscape(std::move(onEscape)) {
    wxEvtHandler::AddFilter(this);
}

CRunInputFilter::~CRunInputFilter() {
    wxEvtHandler::RemoveFilter(this);
}

int CRunInputFilter::FilterEvent(wxEvent& event) {
    if (event.GetEventCategory() != wxEVT_CATEGORY_USER_INPUT) {
        return Event_Skip;
    }
    auto* window = wxDynamicCast(event.GetEventObject(), wxWindow);
    if (window == nullptr || wxGetTopLevelParent(window) != &m_dialog) {
        return Event_Skip;
    }
    // Event_Processed, not Event_Ignore: wxGTK then tells GTK that the event was handled, so
    // the native control never sees it either.
    if (auto* key = dynamic_cast<wxKeyEvent*>(&event)) {
        const int code = key->GetKeyCode();
        const wxEventType type = event.GetEventType();
        if (code == WXK_ESCAPE) {
            if (type == wxEVT_CHAR_HOOK || type == wxEVT_KEY_DOWN) {
                m_onEscape();
            }
            return Event_Processed;
        }
        const bool pressKey = code == WXK_RETURN || code == WXK_NUMPAD_ENTER || code == WXK_SPACE;
        return pressKey && key->GetModifiers() == wxMOD_NONE &&
                       wxWindow::FindFocus() == &m_stopButton
                   ? Event_Skip
                   : Event_Processed;
    }
    // The mouse, and whatever else a click brings, on the two buttons that stop the run.
    return window == &m_stopButton || window == &m_exitButton ? Event_Skip : Event_Processed;
}
