// What a batch run asks of the desktop session: powering the computer off, keeping it awake while
// conversions run, and telling the user that a run has ended. The program uses the session's D-Bus
// services (TDBusDesktop); tests put a recorder in its place, so nothing is ever powered off.
#pragma once

#include <QString>

namespace quovo {

class TDesktopActions {
public:
    virtual ~TDesktopActions() = default;
    // The user asked to shut down after the run: a last chance to cancel, then the power-off.
    virtual void ShutDownComputer() = 0;
    // Held from the start of a run to its end, so the computer does not go to sleep under it.
    virtual void HoldSleep(bool hold) = 0;
    // The run has ended: how many rows converted and failed; opening the notice shows `folder`.
    virtual void RunEnded(int converted, int failed, const QString& folder) = 0;
};

} // namespace quovo
