#pragma once

#include <memory>
#include <string>
#include <vector>

#include "migration/EngineInterfaces.h"
#include "migration/target/kinds/TargetKind.h"

class CDatabase;
class CStatementRunner;
class CTargetFileIdentity;
struct CResolvedTarget;

// Reading a target's tables back after a run, to verify the copy, on the run's own
// connection: read-only, in blocks (COdbcResultReader), a part of the table at a time where
// the kind's driver would otherwise hold the whole of it (CTargetKind::ReadBackPaging). Each
// call that reaches the server is watched as a statement is (StatementRunner.h): a stop
// cancels it (CRunStopped), one the target does not answer is given up. A failure throws
// CDBException with the driver's text, CConnectionLost (nothing in flight) when the connection
// broke. A stop asked for is also taken between blocks.

// For each of columns of table, whether the target pads its values with blanks to a fixed
// length (a char(n) column on a kind that pads). Reads no row.
std::vector<bool> ReadBackPadding(CDatabase& database, CStatementRunner& runner,
                                  const CTargetKind& kind, const std::string& table,
                                  const std::vector<std::string>& columns);

// The rows of table, columns in that order, values in the form they are compared in: text as
// the target's bytes, numbers in decimal, a date-time column as FormatDateTime writes it
// ("yyyy/mm/dd hh:mm:ss", a fraction of a second that is not zero appended after a point). The
// reader uses database and runner until it goes, and must go before them. One reader at a time
// per connection: the next comes after the last one went (statements between them, such as a
// count, are fine). Outside a transaction: on PostgreSQL the reader opens one of its own.
std::unique_ptr<ITableReader> ReadTableBack(CDatabase& database, CStatementRunner& runner,
                                            const CTargetKind& kind, const std::string& table,
                                            const std::vector<std::string>& columns);

// ReadTableBack for a target that wrote through database: a SQLite target's file (target's,
// checked to be still the one connected to, file) is read with the SQLite library itself
// (SqliteFileReadBack.h), the same bytes in a fraction of the driver's time; any other
// target through database.
std::unique_ptr<ITableReader> ReadTargetTableBack(CDatabase& database, CStatementRunner& runner,
                                                  const CTargetKind& kind,
                                                  const CResolvedTarget& target,
                                                  const CTargetFileIdentity& file,
                                                  const std::string& table,
                                                  const std::vector<std::string>& columns);
