#include "app/BrimlowApp.h"

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include <wx/intl.h>
#include <wx/log.h>

#include "dbaccess/Translate.h"
#include "migration/RunThread.h"
#include "ui/BrimlowDlg.h"
#include "ui/ErrorReport.h"
#include "ui/LastResort.h"

bool CBrimlowApp::OnInit() {
    const std::unique_ptr<wxLocale> locale = TakeUserLocale();
    BindMessageCatalogue();
    InstallLastResort();
    {
        CBrimlowDlg dialog;
        SetTopWindow(&dialog);
        dialog.ShowModal();
    }
    // A run's thread that is ending is let finish. One given up while its statement blocks
    // may still be waiting: the process then ends without tearing down what it could wake up to.
    if (!CRunThread::WaitForAllRuns(std::chrono::seconds(1))) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return true;
}

int CBrimlowApp::OnRun() {
    return 0;
}

void CBrimlowApp::CallEventHandler(wxEvtHandler* handler, wxEventFunctor& functor,
                                   wxEvent& event) const {
    try {
        wxApp::CallEventHandler(handler, functor, event);
    } catch (...) {
        // The rest of the handler is skipped and its scope's clean-up has run; the event
        // counts as handled. Anything not ours goes on to OnExceptionInMainLoop.
        if (!ReportHandlerError(std::current_exception())) {
            throw;
        }
    }
}

void CBrimlowApp::ProcessPendingEvents() {
    try {
        wxApp::ProcessPendingEvents();
    } catch (...) {
        ReportOrEnd(std::current_exception());
    }
}

bool CBrimlowApp::OnExceptionInMainLoop() {
    ReportOrEnd(std::current_exception());
    return true;
}

void CBrimlowApp::OnUnhandledException() {
    RunLastResort(std::current_exception());
}

void CBrimlowApp::OnFatalException() {
    RunLastResort(nullptr);
}

void CBrimlowApp::ReportOrEnd(const std::exception_ptr& error) {
    if (!ReportHandlerError(error)) {
        RunLastResort(error);
    }
}

std::unique_ptr<wxLocale> CBrimlowApp::TakeUserLocale() {
    // wx would report a locale that is not generated in a box of its own; the program runs
    // just as well in "C".
    const wxLogNull quiet;
    auto locale = std::make_unique<wxLocale>();
    if (!locale->Init(wxLANGUAGE_DEFAULT, wxLOCALE_LOAD_DEFAULT)) {
        std::setlocale(LC_ALL, "C");
    }
    // Whatever the language, a decimal point stays a point.
    std::setlocale(LC_NUMERIC, "C");
    return locale;
}
