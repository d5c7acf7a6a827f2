#include "app/StopSignals.h"

#include <signal.h>

#include <atomic>
#include <initializer_list>

namespace {

// Set in the handler, read by the run's thread as well as the main one: lock-free atomics are
// both async-signal-safe and free of data races.
std::atomic<int> g_nStopSignal{0};
std::atomic<bool> g_bSecondStopSignal{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

void OnStopSignal(int signal) {
    int none = 0;
    if (!g_nStopSignal.compare_exchange_strong(none, signal)) {
        g_bSecondStopSignal = true;
    }
}

}  // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

int ReceivedStopSignal() noexcept {
    return g_nStopSignal;
}

bool ReceivedSecondStopSignal() noexcept {
    return g_bSecondStopSignal;
}

const char* StopSignalName(int signal) noexcept {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "a signal";
    }
}
