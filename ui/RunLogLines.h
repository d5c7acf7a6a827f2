#pragma once

#include <string>

#include "migration/EngineInterfaces.h"

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

}  // namespace runlines
