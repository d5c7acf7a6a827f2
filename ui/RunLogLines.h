#pragma once

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
// "KEN_ALLの移行を中止しました。(52,000 / 126,029 件を移行済み)"; with no table, the line of
// a run stopped before its first table.
std::string Stopped(const CTableProgress* table);
// "KEN_ALLの 109 件目で失敗しました。(108 件を移行済み)": row table.inserted + 1 failed.
std::string Failed(const CTableProgress& table);
// The same two when the row in flight may or may not have arrived (the connection was lost, or
// a stop gave up a statement that did not return): "…(108 または 109 件を移行済み)"; with no
// table, the commit of a run that is one transaction.
std::string StoppedInDoubt(const CTableProgress* table);
std::string LostInDoubt(const CTableProgress* table);

// The same lines for a run that replaces the target's rows, where nothing is kept unless the
// run completes: "KEN_ALLの移行を中止しました。(移行先は元のままです)", "KEN_ALLの移行中に
// 失敗しました。(移行先は元のままです)"; with no table, the failed commit: "確定に失敗しました。
// (移行先は元のままです)".
std::string StoppedUnchanged(const CTableProgress& table);
std::string FailedUnchanged(const CTableProgress* table);

// The log's line for a failure that left no line of its own: the table's name and a short
// reason when the run failed in a table before its first row ("Mst03の移行に失敗しました。
// (テーブルがありません)"), else "移行を開始できませんでした。(reason)". Japanese in every
// locale, as the other log lines; the message box has the detail.
std::string FailedWithoutRows(const CTableProgress* table, const std::string& reason);

// The line of a run given up because the target did not answer: where it stood and what the
// target holds ("KEN_ALLの 109 件目の送信中に移行先が応答しなくなりました。(…)").
std::string NoAnswer(const CRunOutcome& outcome, const CTableProgress* table);
// The log's note when the target does not count the rows its statements insert: the counts
// after the run are the only check.
std::string RowsUncounted();

// The line of a run whose rows were all sent and committed, but whose target tables do not
// hold what the run accounts for: "移行しましたが、KEN_ALLの件数が合いません。(…)".
std::string CountsDiffer(const std::vector<CTableCount>& tables);

// The line that tells how a run that did not complete ended, one of those above; empty for a
// completed run and for a cancel.
std::string EndLine(const CRunOutcome& outcome);

// The reason FailedWithoutRows gives for an error, in a few Japanese words: the file cannot
// be found or opened, its password differs, it is damaged, a table is missing, the target
// cannot be reached or refused a row.
std::string ShortReason(const std::exception_ptr& error, bool inTable);

}  // namespace runlines
