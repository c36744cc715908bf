#include "StopSignals.h"

#include <csignal>

namespace quovo {

namespace {

std::atomic<bool> gStop{false};
std::atomic<int> gSignals{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

constexpr int kForcingSignal = 3;

extern "C" void OnStopSignal(int signal) {
    gStop.store(true);
    if (gSignals.fetch_add(1) + 1 >= kForcingSignal) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

} // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART; // reads and writes under way go on; the loop sees the flag
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

const std::atomic<bool>& StopSignalled() {
    return gStop;
}

} // namespace quovo
