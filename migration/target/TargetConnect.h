#pragma once

#include <functional>
#include <optional>
#include <string>

#include "migration/target/TargetResolution.h"
#include "migration/target/kinds/TargetKind.h"

class CDatabase;

// What every target that connects over ODBC does at Open, so that a per-row run, a replacing
// run and the dialog reach the same database for the same connection string.

// The target to open: resolved, the resolution made once at the run's start when there is
// one, otherwise connect resolved now. Throws CDBException as ResolveTarget does.
CResolvedTarget TargetToOpen(const std::optional<CResolvedTarget>& resolved,
                             const std::string& connect);

// Told when a connection's driver library is one kind's and its server's product name is not
// that kind's: the kind the library is (its Name()) and the server's name.
using KindNote = std::function<void(const std::string& driverKind, const std::string& dbmsName)>;

// Connects database to target, never with a driver dialog, with what the driver library's
// kind needs in the connection string; the per-user SQLite file is created first when target
// is it. Returns the kind the server confirms, or the unknown ODBC kind when the server
// disagrees with the library (note is told). Throws CDBException whose text names the target
// tried, also when the kind refuses the session (CTargetKind::CheckSession: every session is
// asked once whether it reads quoted text in the standard way).
const CTargetKind& ConnectToTarget(CDatabase& database, const CResolvedTarget& target,
                                   const KindNote& note = {});
