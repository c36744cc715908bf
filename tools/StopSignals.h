// Stop requests by signal for the tools. Ctrl-C (SIGINT), SIGTERM (kill, shutdown, process
// managers) and SIGHUP (a closed terminal) all ask for a clean stop that finishes or removes the
// file being written; only a third signal ends the program at once.
#pragma once

#include <atomic>

namespace quovo {

// Call before the first task is added, so that no signal finds the default action.
void InstallStopSignals();
// Raised by the first signal; signal-safe to read from any thread.
const std::atomic<bool>& StopSignalled();

} // namespace quovo
