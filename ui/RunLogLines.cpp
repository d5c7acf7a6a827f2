#include "ui/RunLogLines.h"

#include <cmath>

#include "dbaccess/Exceptions.h"
#include "migration/CountText.h"
#include "migration/target/DialogTarget.h"

namespace runlines {

std::string Progress(const CTableProgress& table) {
    return table.table + "を移行中… " + GroupThousands(table.inserted) + " / " +
           GroupThousands(table.total) + " 件";
}

std::string Stopped(const CTableProgress* table) {
    if (table == nullptr) {
        return "テーブルを移行する前に中止しました。";
    }
    return table->table + "の移行を中止しました（" + GroupThousands(table->inserted) + " / " +
           GroupThousands(table->total) + " 件を移行済み）。";
}

std::string Failed(const CTableProgress& table) {
    return table.table + "の " + GroupThousands(table.inserted + 1) + " 件目で失敗しました（" +
           GroupThousands(table.inserted) + " 件を移行済み）。";
}

namespace {

constexpr const char kCommitInDoubt[] =
    "移行先は以前の内容か今回の内容のどちらかです（確定の結果は確認できません）。";

// The sentence after a line that ended with the row in flight: the rows in, one more or not.
std::string RowsInDoubt(const CTableProgress& table) {
    const std::string next = GroupThousands(table.inserted + 1);
    return "移行済みは " + GroupThousands(table.inserted) + " 件または " + next + " 件です（" +
           next + " 件目が登録されたかは確認できません）。";
}

}  // namespace

std::string StoppedInDoubt(const CTableProgress* table) {
    if (table == nullptr) {
        return std::string("確定の途中で中止しました。") + kCommitInDoubt;
    }
    return table->table + "の移行を中止しました。" + RowsInDoubt(*table);
}

std::string LostInDoubt(const CTableProgress* table) {
    if (table == nullptr) {
        return std::string("確定の途中で接続が切れました。") + kCommitInDoubt;
    }
    return table->table + "の " + GroupThousands(table->inserted + 1) +
           " 件目の送信中に接続が切れました。" + RowsInDoubt(*table);
}

}  // namespace runlines

namespace runlines {

std::string StoppedUnchanged(const CTableProgress& table) {
    return table.table + "の移行を中止しました（移行先は元のままです）。";
}

std::string FailedUnchanged(const CTableProgress* table) {
    if (table == nullptr) {
        return "確定に失敗しました（移行先は元のままです）。";
    }
    return table->table + "の移行中に失敗しました（移行先は元のままです）。";
}

std::string FailedWithoutRows(const CTableProgress* table, const std::string& reason) {
    if (table == nullptr) {
        return "移行を開始できませんでした（" + reason + "）。";
    }
    return table->table + "の移行に失敗しました（" + reason + "）。";
}

namespace {

// A source failure in a few words, by its kind: the words of its message may change.
std::string SourceReason(const CDaoException& e) {
    switch (e.Kind()) {
        case SourceFailureKind::FileMissing:
            return "ファイルが見つかりません";
        case SourceFailureKind::WrongPassword:
            return "パスワードが違います";
        case SourceFailureKind::MissingTable:
            return "テーブルがありません";
        case SourceFailureKind::MissingColumn:
            return "列がありません";
        case SourceFailureKind::Damaged:
        case SourceFailureKind::Stalled:
        case SourceFailureKind::Crashed:
        case SourceFailureKind::MemoryExhausted:
            return "ファイルが壊れています";
        case SourceFailureKind::ChangedWhileRead:
            return "ファイルが変更されました";
        case SourceFailureKind::NotAFile:
        case SourceFailureKind::CannotOpen:
        case SourceFailureKind::CannotRead:
        case SourceFailureKind::NotADatabase:
        case SourceFailureKind::UnsupportedFormat:
        case SourceFailureKind::Encrypted:
        case SourceFailureKind::UnreadableColumnType:
        case SourceFailureKind::NoTextConverter:
        case SourceFailureKind::CheckUnavailable:
        case SourceFailureKind::Misuse:
            break;
    }
    return "ファイルを開けません";
}

}  // namespace

std::string ShortReason(const std::exception_ptr& error, bool inTable) {
    try {
        std::rethrow_exception(error);
    } catch (const CDaoException& e) {
        return SourceReason(e);
    } catch (const CTargetBusy&) {
        return "移行先は別の移行が使用中です";
    } catch (const CDBException&) {
        return inTable ? "移行先に書き込めません" : "移行先に接続できません";
    } catch (const COleException&) {
        return "値を変換できません";
    } catch (...) {
        return "エラーが発生しました";
    }
}

std::string RowsUncounted() {
    return "移行先のドライバーが挿入した件数を返さないため、件数は移行の最後にまとめて確かめます。";
}

std::string CountsDiffer(const std::vector<CTableCount>& tables) {
    std::string counts;
    for (const CTableCount& table : tables) {
        counts += (counts.empty() ? "" : "、") + table.table + "は " + GroupThousands(table.held) +
                  " 件（" +
                  (table.before == 0 ? "空のテーブルに "
                                     : "以前の " + GroupThousands(table.before) + " 件に ") +
                  GroupThousands(table.inserted) + " 件を移行）";
    }
    return "移行しましたが、移行先の件数が合いません。" +
           (counts.empty() ? "" : counts + "です。") +
           "移行中に別のプログラム（またはテーブルのトリガー）が移行先を変更しました。";
}

std::string Verifying(std::size_t done, std::size_t total) {
    return "検証中… " + GroupThousands(done) + " / " + GroupThousands(total) + " 件";
}

std::string Verified(const CVerification& verification, bool appended) {
    switch (verification.state) {
        case CVerification::State::Equal:
            return GroupThousands(verification.Rows()) + " 件すべての値が移行元と一致しました。";
        case CVerification::State::Stopped:
            return "値の検証を中止しました。移行したデータはそのまま移行先に残っています。";
        case CVerification::State::NotRun:
            return appended ? "以前からデータのあるテーブルに追加したため、値は検証していません。"
                            : "移行先からテーブルを読み戻せないため、値は検証していません。";
        case CVerification::State::Differs:
            break;
    }
    // The tables read back that do not hold the rows sent; every table not verified when
    // none of them says so.
    std::string tables;
    for (const bool readOnly : {true, false}) {
        for (const CVerification::Table& table : verification.tables) {
            if (!table.verified && (table.read || !readOnly)) {
                tables += (tables.empty() ? "" : "、") + table.table;
            }
        }
        if (!tables.empty()) {
            break;
        }
    }
    std::string line =
        (tables.empty() ? std::string("移行先") : tables) + "の値が移行元と一致しません。";
    if (!verification.differencesFile.empty()) {
        line += "違いのある行を " + verification.differencesFile + " に書き出しました。";
    }
    return line;
}

namespace {

bool IsCancel(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const CUserException&) {
        return true;
    } catch (...) {
        return false;
    }
}

// A run that is one transaction was given up before its commit, and its session could not be
// ended on the server.
constexpr const char kSessionLeft[] =
    "サーバー上のセッションを終了できなかったため、移行先の状態は確認できていません。";

std::string StopLine(const CRunOutcome& outcome, const CTableProgress* table) {
    if (outcome.sessionLeft) {
        return (table != nullptr ? table->table + "の移行を中止しました。"
                                 : std::string("移行を中止しました。")) +
               kSessionLeft;
    }
    if (outcome.unknown != UnknownOutcome::None) {
        return StoppedInDoubt(table);
    }
    return table != nullptr && outcome.rolledBack ? StoppedUnchanged(*table) : Stopped(table);
}

std::string FailureLine(const CRunOutcome& outcome, const CTableProgress* table) {
    if (outcome.noAnswer) {
        return NoAnswer(outcome, table);
    }
    if (outcome.differs) {
        try {
            std::rethrow_exception(outcome.error);
        } catch (const CCountDiffers& e) {
            return CountsDiffer(e.Tables());
        } catch (const CCopyDiffers&) {
            if (outcome.verification) {
                return Verified(*outcome.verification);
            }
            return "移行先の値が移行元と一致しません。";
        } catch (...) {
        }
        return CountsDiffer({});
    }
    if (outcome.unknown != UnknownOutcome::None) {
        return LostInDoubt(table);
    }
    try {
        std::rethrow_exception(outcome.error);
    } catch (const CRunCancelled&) {
        return Cancelled();
    } catch (...) {
    }
    if (IsCancel(outcome.error)) {
        return {};
    }
    if (outcome.rolledBack && (table != nullptr || outcome.inCommit)) {
        return FailedUnchanged(table);
    }
    if (table != nullptr && !outcome.failedOpeningTable) {
        return Failed(*table);
    }
    return FailedWithoutRows(table, ShortReason(outcome.error, table != nullptr));
}

}  // namespace

std::string NoAnswer(const CRunOutcome& outcome, const CTableProgress* table) {
    constexpr const char kNoAnswer[] = "移行先が応答しなくなりました";
    if (outcome.unknown == UnknownOutcome::Commit || (table == nullptr && outcome.inCommit)) {
        return std::string("確定の途中で") + kNoAnswer + "。" + kCommitInDoubt;
    }
    const std::string where = table != nullptr ? table->table + "の移行中に" : std::string();
    if (outcome.sessionLeft) {
        return where + kNoAnswer + "。" + kSessionLeft;
    }
    if (outcome.rolledBack) {
        return where + kNoAnswer + "（移行先は元のままです）。";
    }
    if (table == nullptr) {
        return std::string(kNoAnswer) + "（行は移行していません）。";
    }
    if (outcome.unknown == UnknownOutcome::Row) {
        return table->table + "の " + GroupThousands(table->inserted + 1) + " 件目の送信中に" +
               kNoAnswer + "。" + RowsInDoubt(*table);
    }
    return where + kNoAnswer + "（" + GroupThousands(table->inserted) + " / " +
           GroupThousands(table->total) + " 件を移行済み）。";
}

std::string EndLine(const CRunOutcome& outcome, bool appended) {
    const CTableProgress* table = outcome.table ? &*outcome.table : nullptr;
    switch (outcome.status) {
        case CRunOutcome::Status::Completed:
            return outcome.verification ? Verified(*outcome.verification, appended) : std::string();
        case CRunOutcome::Status::Stopped:
            return StopLine(outcome, table);
        case CRunOutcome::Status::Failed:
            return FailureLine(outcome, table);
    }
    return {};
}

std::string ModeWord(const std::string& mode) {
    return mode == "new"       ? "新規"
           : mode == "append"  ? "追加"
           : mode == "replace" ? "置き換え"
                               : std::string();
}

std::string Header(const std::string& time, const std::string& path, const std::string& target,
                   const std::string& mode) {
    const size_t slash = path.rfind('/');
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string word = ModeWord(mode);
    std::string header = "―― " + time + " " + (file.empty() ? std::string() : file + " ") + "→ " +
                         target + (word.empty() ? std::string(" ") : "（" + word + "）") + "――";
    // One line, whatever a name or a failure's text holds: the line is completed in place.
    for (char& c : header) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return header;
}

std::string Duration(double seconds) {
    if (!(seconds >= 0.5)) {
        return "1 秒未満";
    }
    const long long total = std::llround(seconds);
    const long long hours = total / 3600;
    const long long minutes = total / 60 % 60;
    const long long rest = total % 60;
    std::string text;
    const auto add = [&text](long long value, const char* unit) {
        text += (text.empty() ? "" : " ") + std::to_string(value) + " " + unit;
    };
    if (hours > 0) {
        add(hours, "時間");
    }
    if (minutes > 0) {
        add(minutes, "分");
    }
    if (rest > 0 || text.empty()) {
        add(rest, "秒");
    }
    return text;
}

std::string Migrated(std::size_t rows, double seconds) {
    return GroupThousands(rows) + " 件を " + Duration(seconds) + "で移行しました。";
}

std::string StaleRowCount(const CTableProgress& table, std::size_t declared) {
    return table.table + "には " + GroupThousands(table.total) +
           " 件のデータがありますが、テーブル定義上の件数は " + GroupThousands(declared) +
           " 件です。定義の件数が古いだけで、データはすべて読み取っています（Access のある"
           "パソコンで「データベースの最適化/修復」を行うと直ります）。";
}

std::string Cancelled() {
    return "キャンセルしました。移行先には何も送っていません。";
}

std::string HistoryNotWritten(const std::string& warning) {
    return "実行履歴を記録できませんでした（" + warning + "）。";
}

}  // namespace runlines
