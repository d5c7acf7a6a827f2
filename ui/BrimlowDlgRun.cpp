#include <ctime>
#include <exception>
#include <memory>
#include <string>

#include <wx/textctrl.h>

#include "dbaccess/access/DaoDatabase.h"
#include "dbaccess/access/DaoWorkspace.h"
#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/DaoSource.h"
#include "migration/RunSettings.h"
#include "migration/RunThread.h"
#include "migration/target/ConnectionString.h"
#include "migration/target/DialogTarget.h"
#include "ui/BrimlowDlg.h"
#include "ui/DialogLog.h"
#include "ui/DialogRun.h"
#include "ui/Utf8.h"

namespace {

// Why 置き換える sends insert statements instead of PostgreSQL's COPY or a SQLite file's bound
// inserts, in a few Japanese
// words: the log's lines are Japanese in every locale, and the message of libpq or the server
// is not repeated in them.
std::string BulkReason(const CBulkUnusable& unusable) {
    switch (unusable.reason) {
        case CBulkUnusable::Reason::Attribute:
            return "接続文字列の属性「" + unusable.attribute +
                   "」に当たる libpq の設定がありません";
        case CBulkUnusable::Reason::PqOpt:
            return "接続文字列の pqopt を libpq の設定として読めません";
        case CBulkUnusable::Reason::Connect:
            return "libpq で移行先に接続できませんでした";
        case CBulkUnusable::Reason::ConnSettings:
            return "接続文字列の ConnSettings が libpq の接続では失敗しました";
        case CBulkUnusable::Reason::Compare:
            return "libpq の接続を ODBC の接続と照合できませんでした";
        case CBulkUnusable::Reason::Differs:
            return "libpq の接続と ODBC "
                   "の接続とで、データベース・ユーザー・サーバー・文字コードなどが"
                   "一致しません";
        case CBulkUnusable::Reason::FileSetting:
            return "接続文字列かデータソースの「" + unusable.attribute +
                   "」の設定を SQLite ライブラリの接続では再現できません";
        case CBulkUnusable::Reason::File:
            return "移行先が SQLite ライブラリで直接開ける通常のファイルではありません";
    }
    return "libpq の接続を使えません";
}

}  // namespace

std::string CBrimlowDlg::BulkNoteLine(const CBulkUnusable& unusable) {
    const char* path = unusable.path == "copy" ? "PostgreSQL の COPY による一括投入"
                                               : "SQLite ファイルへの直接の一括投入";
    return std::string(path) + "を使えないため、行を INSERT 文で送ります（" + BulkReason(unusable) +
           "）。";
}

CBrimlowDlg::RunWork CBrimlowDlg::MakeRunWork() {
    return &CBrimlowDlg::RunRealMigration;
}

// Every run opens the file and connects anew, on objects of its own thread: a run given up
// while its statement blocks keeps them, and the next run is not affected.
void CBrimlowDlg::RunRealMigration(CDialogRun& run) {
    CDaoWorkspace workspace;
    CDaoDatabase sourceDb;
    CDatabase targetDb;
    CDaoSource source(workspace, sourceDb);
    CDialogTarget target(targetDb, run.Target(), [&run](const CExistingRows& existing) {
        return run.AskExistingRows(existing);
    });
    target.SetKindNote([&run](const std::string& driverKind, const std::string& dbmsName) {
        run.AppendLog("移行先のドライバーは " + driverKind + " 用ですが、サーバーは「" + dbmsName +
                      "」です。一般の ODBC データベースとして扱います。");
    });
    target.SetBulkNote(
        [&run](const CBulkUnusable& unusable) { run.AppendLog(BulkNoteLine(unusable)); });
    run.RunOn(source, target);
}

// The path and the target are taken now; the thread reads nothing of the window.
void CBrimlowDlg::StartRun() {
    UpdateData(true);
    m_runLog = std::make_shared<CDialogLog>(*this);
    // The header names the target as the start button's tooltip does.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char time[8] = "";
    std::strftime(time, sizeof time, "%H:%M", &local);
    m_runLog->Begin(time, m_strPath,
                    JapaneseTargetName(m_runTarget ? m_runTarget->description
                                                   : DescribeTargetInUse(kTargetConnection)));
    auto run = std::make_shared<CDialogRun>(m_runLog, m_strPath, m_runTarget);
    m_runThread = std::make_unique<CRunThread>(
        [run, work = MakeRunWork()](const std::shared_ptr<CRunWatch>& watch) {
            run->SetWatch(watch);
            std::exception_ptr error;
            try {
                if (work) {
                    work(*run);
                }
            } catch (const CRunGivenUp&) {
                throw;
            } catch (...) {
                error = std::current_exception();
            }
            run->End(error);
        },
        [run](const CRunOutcome& outcome) { run->GivenUp(outcome); });
}

std::size_t CBrimlowDlg::AppendLogLine(const std::string& text) {
    const std::size_t start = m_strLog.size() + 1;
    AppendLog(text.c_str());
    return start;
}

void CBrimlowDlg::ReplaceLogLine(std::size_t start, const std::string& text) {
    if (start > m_strLog.size()) {
        return;
    }
    const std::size_t end = m_strLog.find('\n', start);
    m_strLog.replace(start, end == std::string::npos ? std::string::npos : end - start, text);
    UpdateData(false);
    ShowLogEnd();
}

void CBrimlowDlg::ReplaceLastLogLine(const std::string& text) {
    const size_t start = m_strLog.rfind('\n') + 1;  // 0 when there is no line break
    const long oldLength = static_cast<long>(WxFromUtf8(m_strLog.substr(start)).length());
    m_strLog.replace(start, std::string::npos, text);
    const long end = m_editLog->GetLastPosition();
    m_editLog->Replace(end - oldLength, end, WxFromUtf8(text));
    ShowLogEnd();
}

void CBrimlowDlg::RemoveLastLogLine() {
    const size_t lineBreak = m_strLog.rfind('\n');
    m_strLog.erase(lineBreak == std::string::npos ? 0 : lineBreak);
}
