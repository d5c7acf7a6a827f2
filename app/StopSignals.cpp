#include "app/StopSignals.h"

#include <signal.h>

#include <initializer_list>

namespace {

volatile sig_atomic_t g_nStopSignal = 0;
volatile sig_atomic_t g_bSecondStopSignal = 0;

void OnStopSignal(int signal) {
    if (g_nStopSignal == 0) {
        g_nStopSignal = signal;
    } else {
        g_bSecondStopSignal = 1;
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
    return g_bSecondStopSignal != 0;
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
