#pragma once

#include <functional>

#include "migration/EngineInterfaces.h"

class CRunWatch;

// One blocking call on a target's connection, made on the run's own thread and marked for the
// run's watcher (RunWatch.h): on a stop, or when the target does not answer in time, the
// watcher cancels it from its own thread and, when it still does not return, gives it up.
// Once the call is back:
// - given up: abandon lets the connection go (its state is unknown) and CRunGivenUp is thrown;
//   the run is over, and its thread touches nothing more;
// - failed after the answer deadline cancelled it: its failure, after the words that say so;
// - failed after a stop cancelled it: CRunStopped; it did not apply, unless its connection
//   broke instead (its outcome is then unknown: CRunStopped(Row));
// - otherwise its own failure, or nothing: a call that completed is done even if a stop asked
//   to cancel it, and the stop is taken at the next row boundary.
// Without a watch the call simply runs. ifGivenUp: what the watcher reports as unknown when it
// gives the call up.
void RunWatchedCall(CRunWatch* watch, const std::function<void()>& cancel,
                    const std::function<void()>& abandon, UnknownOutcome ifGivenUp,
                    const std::function<void()>& work);
