// The ring of events a player's threads post for its event thread: ten entries, a newer entry of
// the same kind as the newest undelivered one replaces it, and a full ring drops its oldest.
// Posting never waits for delivery.
#pragma once

#include "TPlayerTypes.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace quovo {

enum class TPlayerEventKind { Position = 1, State = 2, Quit = 3 };

struct TPlayerEvent {
    TPlayerEventKind kind = TPlayerEventKind::Quit;
    TPlayState state = psPlay;
    int64_t pts = 0;
};

class TPlayerEventRing {
public:
    static constexpr int kSize = 10;

    void Post(const TPlayerEvent& event);
    // The oldest entry, or none when the ring is empty.
    std::optional<TPlayerEvent> Take();
    // Waits until an entry is available.
    void WaitAvailable();
    void Clear();

private:
    std::mutex mutex_;
    std::condition_variable available_;
    // --- guarded by mutex_
    std::array<TPlayerEvent, kSize> entries_{};
    int read_ = 0;
    int write_ = 0;
};

} // namespace quovo
