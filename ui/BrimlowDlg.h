#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <wx/dialog.h>
#include <wx/icon.h>

#include "migration/RunThread.h"
#include "migration/target/DialogTarget.h"
#include "migration/target/TargetResolution.h"

class CDialogLog;
class CDialogRun;
struct CBulkUnusable;

class wxButton;
class wxStaticText;
class wxTextCtrl;

// The program's only window: a path box with a browse button, the large start button that
// runs a migration, a read-only log box and the exit button, laid out in dialog units. A
// context menu opens the About box and the run history.
//
// A run executes on a thread of its own (CRunThread), which owns everything it touches: the
// workspace, the source and the target connection are made anew by each run and never
// shared with the window. The window's thread never waits for it: it hears of the run's
// progress, log lines, questions and end through posted events (DialogRun.h). While a run is
// in progress the start button reads 中止 and stops the run, as Esc does; the browse button
// and the path box are disabled. The exit button and the close box ask whether to stop the
// run; if so, the window closes when it is over.
class CBrimlowDlg : public wxDialog {
public:
    // Builds the dialog, without a parent, centred on the screen; ShowModal runs it.
    CBrimlowDlg();
    // A run still in progress is asked to stop; its events then find no window.
    ~CBrimlowDlg() override;

    // Appends one line to the log: "\n" and then text (null counts as empty), so the box's
    // first line stays empty. Rewrites both boxes from the members and puts the caret at the
    // end, scrolled into view.
    void AppendLog(const char* text);

    // AppendLog of text; gives where the line's text starts in m_strLog, for ReplaceLogLine.
    std::size_t AppendLogLine(const std::string& text);
    // Replaces the line whose text starts at start in m_strLog (up to its line break) and
    // rewrites the log box from m_strLog.
    void ReplaceLogLine(std::size_t start, const std::string& text);

    // Replaces the last line of the log (the text after its last line break) in m_strLog and
    // in the log box, without rewriting the rest of the box.
    void ReplaceLastLogLine(const std::string& text);
    // Removes the last line, with its line break, from m_strLog only; the log box follows at
    // the next data exchange (AppendLog).
    void RemoveLastLogLine();

    // During a run, asks it to stop at the next row boundary; otherwise does nothing. atOnce:
    // a call the run is blocked in is given up without the grace, its outcome unknown.
    void RequestStop(bool atOnce = false) noexcept;
    // True once a stop was asked for during the current run.
    bool IsStopRequested() const noexcept { return m_bStopRequested; }

    // Moves the texts of the log box and the path box: into m_strLog and m_strPath when
    // saveAndValidate is true, out to the boxes when it is false. Returns true.
    bool UpdateData(bool saveAndValidate = true);

    // A system command of the window, as the About item of the context menu sends it. An id
    // that is 0x10 once its low four bits and its high word are masked off (0x10 to 0x1F in
    // the low word) opens the About box modally; others are ignored, since GTK gives the
    // program no system menu of its own. lParam is not used.
    void OnSysCommand(unsigned nID, long lParam);

    // True from the start of a run to its end.
    bool IsRunInProgress() const noexcept { return m_bRunInProgress; }
    // The run's end, posted by its thread (null: completed): the controls come back, a
    // failure is shown, and an exit or close asked for during the run is carried out.
    void EndRun(const std::exception_ptr& error);
    // The question before rows are added to target tables that hold some (see
    // ExistingRowsQuestion.h).
    ExistingRowsChoice AskAboutExistingRows(const CExistingRows& existing);

protected:
    // The data exchange behind UpdateData: the log box with m_strLog, then the path box with
    // m_strPath, in the direction saveAndValidate gives.
    virtual void DoDataExchange(bool saveAndValidate);

    // wx's data transfer (on showing, and on the exit button) is the same exchange.
    bool TransferDataToWindow() override;
    bool TransferDataFromWindow() override;

    // Handlers, each bound to its own control or event.
    void OnInitDialog(wxInitDialogEvent& event);
    void OnStart(wxCommandEvent& event);
    void OnBrowse(wxCommandEvent& event);
    void OnAboutCommand(wxCommandEvent& event);
    void OnHistoryCommand(wxCommandEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);
    void OnTextContextMenu(wxContextMenuEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnExit(wxCommandEvent& event);

    wxIcon m_hIcon;                   // the 32 x 32 picture; the window gets both sizes
    std::string m_strLog;             // the whole text of the log box, UTF-8; never cleared
    std::string m_strPath;            // the path of the Access file, UTF-8
    wxTextCtrl* m_editLog = nullptr;  // the log box
    // The target of the run in progress, resolved once when it started.
    std::optional<CResolvedTarget> m_runTarget;

    // What the run's thread does: the migration of the run's path into its target, on
    // databases it makes itself (RunRealMigration). It must not touch the dialog. Virtual so
    // that tests can stand in for it.
    using RunWork = std::function<void(CDialogRun& run)>;
    virtual RunWork MakeRunWork();
    static void RunRealMigration(CDialogRun& run);
    // The log's line when 置き換える into PostgreSQL cannot use COPY and sends insert
    // statements: that, and why, in Japanese (as every log line, in every locale).
    static std::string BulkNoteLine(const CBulkUnusable& unusable);

private:
    void CreateControls();
    // The start of a run: the controls for a run, the path and target taken, the thread.
    void StartRun();
    void EnableRunControls(bool enable);
    bool IsRunControl(const wxWindow* window) const;
    // During a run: asks whether to stop it and close the window (中止して終了 / 続ける, the
    // latter the default). True for 中止して終了.
    bool AskStopAndClose();
    // The start button's tooltip: the target the next run would write to, resolved now
    // (creating nothing).
    void ShowNextTarget();
    // Resolves the target of the run that starts now into m_runTarget (none when that fails:
    // the run's open then says why) and shows it in the tooltip.
    void ResolveRunTarget();
    void OnStartButtonEnter(wxMouseEvent& event);
    // Puts the log box's caret at the end of its text and scrolls the end into view.
    void ShowLogEnd();
    void ShowContextMenu(const wxPoint& position);

    wxButton* m_btnExit = nullptr;
    wxButton* m_btnStart = nullptr;
    wxTextCtrl* m_editPath = nullptr;
    wxStaticText* m_labelPath = nullptr;
    wxButton* m_btnBrowse = nullptr;
    bool m_bRunInProgress = false;
    bool m_bCloseRequested = false;           // a close arrived during the run
    bool m_bExitRequested = false;            // the exit button was pressed during the run
    bool m_bStopRequested = false;            // a stop was asked for during the run
    bool m_bAskingToClose = false;            // the question before closing is open
    wxWindow* m_focusBefore = nullptr;        // what had the focus when the run started
    std::shared_ptr<CDialogLog> m_runLog;     // the log of the run in progress
    std::unique_ptr<CRunThread> m_runThread;  // the run in progress
};
