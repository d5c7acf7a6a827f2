#pragma once

#include <optional>
#include <string>

#include <wx/dialog.h>
#include <wx/icon.h>

#include "dbaccess/access/DaoDatabase.h"
#include "dbaccess/access/DaoWorkspace.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/target/DialogTarget.h"
#include "migration/target/TargetResolution.h"

class ISourceDatabase;
class ITargetDatabase;

class wxButton;
class wxStaticText;
class wxTextCtrl;

// The program's only window: a path box with a browse button, the large start button that
// runs a migration, a read-only log box and the exit button, laid out in dialog units. A
// context menu opens the About box. The dialog owns the database objects a run works with.
//
// Everything runs on the user-interface thread. While a run is in progress the start button
// reads 中止 and stops the run, as Esc does; the browse button and the path box are disabled,
// and other input comes to nothing. The exit button and the close box ask whether to stop
// the run; if so, the window closes when it is over.
class CBrimlowDlg : public wxDialog {
public:
    // Builds the dialog, without a parent, centred on the screen; ShowModal runs it.
    CBrimlowDlg();

    // Appends one line to the log: "\n" and then text (null counts as empty), so the box's
    // first line stays empty. Rewrites both boxes from the members, puts the caret at the end
    // and scrolls it into view, lets pending painting run and then runs idle processing.
    void AppendLog(const char* text);

    // Lets pending painting (and window-manager requests such as close) run. Outside a run,
    // keyboard and mouse input stays queued. During a run, the input that can stop it (the
    // start button, the exit button, Esc) is handled and the rest is thrown away. For the
    // migration run's heartbeat and progress as well as for AppendLog.
    void PumpPaint();

    // Replaces the last line of the log (the text after its last line break) in m_strLog and
    // in the log box, without rewriting the rest of the box.
    void ReplaceLastLogLine(const std::string& text);
    // Removes the last line, with its line break, from m_strLog only; the log box follows at
    // the next data exchange (AppendLog).
    void RemoveLastLogLine();

    // During a run, asks it to stop at the next row boundary; otherwise does nothing.
    void RequestStop() noexcept;
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
    // True once the user chose 置き換える for the run in progress: nothing of it is kept
    // unless it completes.
    bool IsReplacing() const noexcept { return m_bReplacing; }

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
    void OnContextMenu(wxContextMenuEvent& event);
    void OnTextContextMenu(wxContextMenuEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnExit(wxCommandEvent& event);

    wxIcon m_hIcon;                   // the 32 x 32 picture; the window gets both sizes
    CDaoWorkspace m_workspace;        // source workspace, opened by the first run
    CDaoDatabase m_sourceDb;          // source database, opened through m_workspace by a run
    CDatabase m_targetDb;             // target connection
    std::string m_strLog;             // the whole text of the log box, UTF-8; never cleared
    std::string m_strPath;            // the path of the Access file, UTF-8
    wxTextCtrl* m_editLog = nullptr;  // the log box
    // The target of the run in progress, resolved once when it started.
    std::optional<CResolvedTarget> m_runTarget;

    // The migration run behind the start button, on the dialog's own database objects.
    // Virtual so that tests can stand in for it.
    virtual void RunMigration();
    // A migration run on these databases, shown in the log and stoppable from the dialog.
    void RunOn(ISourceDatabase& source, ITargetDatabase& target);
    // The question before rows are added to target tables that hold some (see
    // ExistingRowsQuestion.h); remembers a choice to replace.
    ExistingRowsChoice AskAboutExistingRows(const CExistingRows& existing);

private:
    class CRunInProgress;

    void CreateControls();
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
    bool m_bCloseRequested = false;  // a close arrived during the run
    bool m_bExitRequested = false;   // the exit button was pressed during the run
    bool m_bStopRequested = false;   // a stop was asked for during the run
    bool m_bAskingToClose = false;   // the question before closing is open
    bool m_bReplacing = false;       // the run replaces the target's rows
};
