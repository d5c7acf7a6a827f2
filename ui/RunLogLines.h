#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "migration/EngineInterfaces.h"
#include "migration/RunOutcome.h"

// The log lines the dialog shows for a run in progress and for a run that did not complete,
// as UTF-8. Counts are grouped with "," whatever the locale.
namespace runlines {

// "KEN_ALLを移行中… 52,000 / 126,029 件": the last line of the log while a table is copied.
std::string Progress(const CTableProgress& table);
// "KEN_ALLの移行を中止しました（52,000 / 126,029 件を移行済み）。"; with no table, the line of
// a run stopped before its first table.
std::string Stopped(const CTableProgress* table);
// "KEN_ALLの 109 件目で失敗しました（108 件を移行済み）。": row table.inserted + 1 failed.
std::string Failed(const CTableProgress& table);
// The same two when the row in flight may or may not have arrived (the connection was lost, or
// a stop gave up a statement that did not return): "…。移行済みは 108 件または 109 件です（109
// 件目が…）。"; with no table, the commit of a run that is one transaction.
std::string StoppedInDoubt(const CTableProgress* table);
std::string LostInDoubt(const CTableProgress* table);

// The same lines for a run that replaces the target's rows, where nothing is kept unless the
// run completes: "KEN_ALLの移行を中止しました（移行先は元のままです）。", "KEN_ALLの移行中に
// 失敗しました（移行先は元のままです）。"; with no table, the failed commit: "確定に失敗しました
// （移行先は元のままです）。".
std::string StoppedUnchanged(const CTableProgress& table);
std::string FailedUnchanged(const CTableProgress* table);

// The log's line for a failure that left no line of its own: the table's name and a short
// reason when the run failed in a table before its first row ("Mst03の移行に失敗しました
// （テーブルがありません）。"), else "移行を開始できませんでした（reason）。". Japanese in every
// locale, as the other log lines; the message box has the detail.
std::string FailedWithoutRows(const CTableProgress* table, const std::string& reason);

// The line of a run given up because the target did not answer: where it stood and what the
// target holds ("KEN_ALLの 109 件目の送信中に移行先が応答しなくなりました。移行済みは…").
std::string NoAnswer(const CRunOutcome& outcome, const CTableProgress* table);
// The log's note when the target does not count the rows its statements insert: the counts
// after the run are the only check.
std::string RowsUncounted();

// The line of a run whose rows were all sent and committed, but whose target tables do not
// hold what the run accounts for: "移行しましたが、移行先の件数が合いません。KEN_ALLは…".
std::string CountsDiffer(const std::vector<CTableCount>& tables);

// "検証中… 52,000 / 166,140 件": the last line of the log while the target's tables are read
// back and compared with the rows sent.
std::string Verifying(std::size_t done, std::size_t total);

// The line that says what the verification of a run found, below 「移行が完了しました。」:
// "166,140 件すべての値が移行元と一致しました。", the tables whose values differ and the file
// that lists their rows, a verification that was stopped (the rows stay), or why it was not
// run. appended: the run added its rows to tables that held some (追加する), which is the
// reason a verification of such a run is not run; otherwise the target cannot read back.
std::string Verified(const CVerification& verification, bool appended = false);

// The line that tells how a run ended where that needs telling, one of those above: a run that
// did not complete (Cancelled for a cancel at the question about existing rows), or the
// verification of one that did (appended as for Verified); empty for a completed run without
// verification and for any other cancel.
std::string EndLine(const CRunOutcome& outcome, bool appended = false);

// The reason FailedWithoutRows gives for an error, in a few Japanese words: the file cannot
// be found or opened, its password differs, it is damaged, a table is missing, the target
// cannot be reached or refused a row.
std::string ShortReason(const std::exception_ptr& error, bool inTable);

// The first line of a run: "―― 14:02 sample.mdb → DSN Pomvale01 (…)（追加）――", with the time
// the run started (hh:mm), the source file's name without its folder, the target as the start
// button's tooltip names it, and how the run writes (RunModeName: "new", "append", "replace");
// without a mode (not known yet, or never: the run ended before) the parenthesis is left out.
// Line breaks in the names become blanks: the header is one line.
std::string Header(const std::string& time, const std::string& path, const std::string& target,
                   const std::string& mode = {});
// 新規, 追加 or 置き換え for "new", "append" or "replace"; empty for anything else.
std::string ModeWord(const std::string& mode);

// The line after 「移行が完了しました。」: the rows the run sent and the time it took, e.g.
// "166,140 件を 12 秒で移行しました。"
std::string Migrated(std::size_t rows, double seconds);
// A time in seconds as the log says it, to the nearest second: "12 秒", "2 分 5 秒",
// "1 時間 3 分"; "1 秒未満" below one.
std::string Duration(double seconds);

// The note when a table holds more (or fewer) rows than its definition declares: the rows are
// all read whatever the definition says.
std::string StaleRowCount(const CTableProgress& table, std::size_t declared);

// The line of a run cancelled at the question about rows already in the target.
std::string Cancelled();

// The line when the run history could not be written; warning says why.
std::string HistoryNotWritten(const std::string& warning);

}  // namespace runlines
