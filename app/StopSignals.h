#pragma once

// SIGINT, SIGTERM and SIGHUP ask the command-line run to stop at its next row boundary
// instead of ending the process. The handlers restart interrupted system calls
// (SA_RESTART), so a network read in progress is not reported as a failure. SIGPIPE is
// ignored: a closed output shows as a write error where the program writes.
void InstallStopSignals();

// The first of those signals that arrived, or 0.
int ReceivedStopSignal() noexcept;

// Whether a second one arrived (a second Ctrl+C): the run is not to wait for anything more.
bool ReceivedSecondStopSignal() noexcept;

// "SIGINT", "SIGTERM", "SIGHUP".
const char* StopSignalName(int signal) noexcept;
