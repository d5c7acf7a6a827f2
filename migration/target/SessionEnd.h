#pragma once

#include <functional>
#include <string>

#include "migration/target/TargetResolution.h"

class CTargetKind;

// What ends a run's session on the server when the run's watcher gives its call up: the run's
// own connection is blocked on the run's thread and must not be touched, so the ender opens a
// connection of its own to the same target, with the same connection string as the run
// (amended as ConnectToTarget amends it), and ends the session id there (the kind's
// EndSession: pg_terminate_backend, KILL). The server then rolls back what the session left
// open and lets its run lock and its tables' locks go.
//
// The function returned takes a few seconds at most (short login and statement timeouts) and
// returns true only when the session is known to have ended. When the server does not answer
// now, it returns false at once and keeps trying on a thread of its own for up to a minute.
// Calling it again after it succeeded returns true at once. Copies everything it needs: it
// may outlive the target and the run. Never throws.
std::function<bool()> SessionEnder(const CResolvedTarget& target, const CTargetKind& kind,
                                   const std::string& id);
