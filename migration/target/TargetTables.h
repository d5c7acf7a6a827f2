#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "migration/target/kinds/TargetKind.h"

class CDatabase;

// What a target's tables must be before a run sends its first row, and how many rows they hold.

// Checks, on a connection just made, that the target has the eight catalogue tables with every
// column the run's statements name: one "select <columns> from <table> where 1=0" per table,
// which reads no row. A table or column that is missing throws CDBException with the driver's
// text and a line naming the target (connect, the connection string used) and the schema file
// of its kind, before anything is written; any other failure throws the driver's text as it
// is, explained as a refused row is.
void CheckTargetTables(CDatabase& database, const CTargetKind& kind, const std::string& connect);
// The same through execute, which runs a statement on another session to the target (a
// replacing run's loading session) and throws CDBException with the server's records.
void CheckTargetTables(const std::function<void(const std::string&)>& execute,
                       const CTargetKind& kind, const std::string& connect);

// The rows table holds, "select count(*) from <table>"; none when the count fails or its answer
// is no number.
std::optional<std::size_t> CountTableRows(CDatabase& database, const std::string& table);
