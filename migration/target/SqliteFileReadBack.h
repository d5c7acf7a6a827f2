#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "migration/EngineInterfaces.h"

// Reads a SQLite target's table back straight from its file with the SQLite library, once the
// run is committed: read-only, a row at a time, the values as SQLite gives them as text (the
// driver gives the same bytes, but materialises every part of a result and copies each value,
// which made reading a table back take half as long as writing it). NULL apart from any value.
// stopRequested is asked every 1,024 rows; true throws CRunStopped. A file that cannot be
// opened or read throws CDBException naming it.
std::unique_ptr<ITableReader> ReadSqliteFileBack(const std::string& file, const std::string& table,
                                                 const std::vector<std::string>& columns,
                                                 std::function<bool()> stopRequested);
