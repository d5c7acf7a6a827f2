#pragma once

#include <optional>
#include <string>

#include "migration/target/TargetResolution.h"

class CDatabase;

// What every target that connects over ODBC does at Open, so that a per-row run, a replacing
// run and the dialog reach the same database for the same connection string.

// The target to open: resolved, the resolution made once at the run's start when there is
// one, otherwise connect resolved now. Throws CDBException as ResolveTarget does.
CResolvedTarget TargetToOpen(const std::optional<CResolvedTarget>& resolved,
                             const std::string& connect);

// Connects database to target, never with a driver dialog; the per-user SQLite file is
// created first when target is it. Throws CDBException whose text names the target tried.
void ConnectToTarget(CDatabase& database, const CResolvedTarget& target);
