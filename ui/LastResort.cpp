#include "ui/LastResort.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <wx/app.h>
#include <wx/utils.h>

#include "dbaccess/Exceptions.h"
#include "ui/ErrorReport.h"

namespace {

constexpr const char* kUnexpectedMessage = "予期せぬ例外が発生しました。";

void OnTerminate() {
    RunLastResort(std::current_exception());
}

}  // namespace

std::string LastResortText(const std::exception_ptr& error) {
    if (!error) {
        return kUnexpectedMessage;
    }
    try {
        std::rethrow_exception(error);
    } catch (const CException& e) {
        return e.GetErrorMessage();
    } catch (...) {
        return kUnexpectedMessage;
    }
}

void InstallLastResort() {
    std::set_terminate(&OnTerminate);
    wxHandleFatalExceptions(true);
}

void RunLastResort(const std::exception_ptr& error) {
    // Process-wide by nature: the handlers that lead here (std::terminate, a fatal signal)
    // carry no context, and a failure inside the box must not bring up a second one.
    static std::atomic_flag s_reported = ATOMIC_FLAG_INIT;
    if (!s_reported.test_and_set()) {
        try {
            const std::string text = LastResortText(error);
            if (wxTheApp != nullptr) {
                ShowErrorBox(text, wxICON_STOP);
            } else {
                std::fprintf(stderr, "%s\n", text.c_str());
            }
        } catch (...) {
            // Nothing more can be reported; the process ends all the same.
        }
    }
    std::_Exit(EXIT_FAILURE);
}
