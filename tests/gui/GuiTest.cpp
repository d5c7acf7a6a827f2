#include "tests/gui/GuiTest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

#include <wx/evtloop.h>
#include <wx/msgdlg.h>
#include <wx/timer.h>

namespace guitest {

CDialogAnswerer::~CDialogAnswerer() {
    EXPECT_TRUE(m_answers.empty()) << m_answers.size() << " expected dialog(s) never opened";
}

int CDialogAnswerer::Enter(wxDialog* dialog) {
    if (dynamic_cast<CTestDlg*>(dialog) != nullptr) {
        return wxID_NONE;
    }
    CSeenDialog seen;
    seen.className = Utf8FromWx(dialog->GetClassInfo()->GetClassName());
    seen.title = Utf8FromWx(dialog->GetTitle());
    if (const auto* box = dynamic_cast<const wxMessageDialogBase*>(dialog)) {
        seen.message = Utf8FromWx(box->GetMessage());
        seen.detail = Utf8FromWx(box->GetExtendedMessage());
        seen.icon = box->GetMessageDialogStyle() & wxICON_MASK;
    }
    m_seen.push_back(seen);

    if (m_answers.empty()) {
        ADD_FAILURE() << "unexpected dialog " << seen.className << " \"" << seen.title << "\" "
                      << seen.message;
        return wxID_CANCEL;
    }
    const Answer answer = std::move(m_answers.front());
    m_answers.pop_front();
    return answer(*dialog);
}

void CTestDlg::Click(int id) {
    wxWindow* button = FindWindow(id);
    wxCommandEvent click(wxEVT_BUTTON, id);
    click.SetEventObject(button);
    const bool startsRun = id == IDC_START && !IsRunInProgress();
    button->ProcessWindowEvent(click);
    if (startsRun) {
        AwaitRunEnd();
    }
}

void CTestDlg::AwaitRunEnd(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (IsRunInProgress() && std::chrono::steady_clock::now() < end) {
        wxEventLoopBase::GetActive()->YieldFor(wxEVT_CATEGORY_ALL);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_FALSE(IsRunInProgress()) << "the run did not end within " << timeoutMs << " ms";
}

CBrimlowDlg::RunWork CTestDlg::MakeRunWork() {
    if (runOnThread) {
        return runOnThread;
    }
    if (!run) {
        return {};
    }
    return [this](CDialogRun& thread) { thread.CallOnUi([this](CBrimlowDlg&) { run(*this); }); };
}

std::string SteadyLog(const std::string& log) {
    static const std::regex header("\n―― [0-9]{2}:[0-9]{2} [^\n]*――(?=\n|$)");
    static const std::regex taken("(\n[0-9,]+ 件を )[^\n]*(で移行しました。)");
    return std::regex_replace(std::regex_replace(log, header, ""), taken, "$1N 秒$2");
}

std::string SteadyLog(CTestDlg& dlg) {
    return SteadyLog(Utf8FromWx(dlg.LogBox().GetValue()));
}

void Flush() {
    wxEventLoopBase* loop = wxEventLoopBase::GetActive();
    for (int turn = 0; turn < 3; ++turn) {
        loop->YieldFor(wxEVT_CATEGORY_ALL);
    }
}

void AwaitOnRunThread(CDialogRun& run, const std::function<bool(CTestDlg&)>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        bool isDone = false;
        run.CallOnUi([&](CBrimlowDlg& dialog) { isDone = done(dynamic_cast<CTestDlg&>(dialog)); });
        if (isDone) {
            return;
        }
        if (std::chrono::steady_clock::now() > end) {
            ADD_FAILURE() << "not done within " << timeoutMs << " ms";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int InModalLoop(CTestDlg& dlg, const std::function<void()>& body, int watchdogMs) {
    wxTimer watchdog;
    watchdog.Bind(wxEVT_TIMER, [&dlg](wxTimerEvent&) { dlg.EndModal(wxID_ABORT); });
    dlg.CallAfter([&] {
        watchdog.StartOnce(watchdogMs);
        dlg.Raise();
        Flush();
        body();
        Flush();
        if (dlg.IsModal()) {
            dlg.EndModal(wxID_IGNORE);
        }
    });
    return dlg.ShowModal();
}

}  // namespace guitest
