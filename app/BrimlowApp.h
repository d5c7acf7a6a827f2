#pragma once

#include <exception>
#include <memory>

#include <wx/app.h>

class wxLocale;

// The application object. Start-up installs the last resort and runs the main dialog
// modally; when the dialog closes, the process ends. The object also holds the guard around
// event handlers: an exception of our family that escapes a handler is shown in a message
// box and the dialog carries on; whatever else escapes ends in the last resort.
class CBrimlowApp : public wxApp {
public:
    // Installs the last resort, runs CBrimlowDlg until it closes, and returns true (with
    // false, wx would end the process with status 255).
    bool OnInit() override;

    // Starts no event loop of its own: the dialog's modal loop was the only one. Returns 0.
    int OnRun() override;

    // The guard around every event handler, methods and lambdas alike.
    void CallEventHandler(wxEvtHandler* handler, wxEventFunctor& functor,
                          wxEvent& event) const override;

    // Functions queued with CallAfter run here, outside CallEventHandler; guarded the same
    // way, since an exception must not unwind through GTK's C code.
    void ProcessPendingEvents() override;

    // The net under both: called by wx inside a catch block for an exception that escaped
    // event processing anywhere. Ours are shown and the loop goes on; the rest end in the
    // last resort.
    bool OnExceptionInMainLoop() override;

    // An exception that left OnInit or OnRun, and a fatal signal: the last resort.
    void OnUnhandledException() override;
    void OnFatalException() override;

    // Takes the user's locale from the environment (LANG, LC_ALL, LC_MESSAGES...), for the C
    // library and for wx, so that GTK's and wx's own texts (the file picker, the copy/paste
    // menus) come in the user's language; the program's own texts do not change. Numbers
    // keep the "C" convention. A locale that is not installed leaves the process in "C"
    // without a word. The result must live as long as any window.
    static std::unique_ptr<wxLocale> TakeUserLocale();

private:
    // Reports error as the guard does, or hands it to the last resort.
    static void ReportOrEnd(const std::exception_ptr& error);
};
