#include "TPlayerEventRing.h"

namespace quovo {

void TPlayerEventRing::Post(const TPlayerEvent& event) {
    {
        std::lock_guard lock(mutex_);
        const int newest = (write_ + kSize - 1) % kSize;
        if (read_ != write_ && entries_[newest].kind == event.kind) {
            entries_[newest] = event;
        } else {
            entries_[write_] = event;
            write_ = (write_ + 1) % kSize;
            if (write_ == read_) {
                read_ = (read_ + 1) % kSize; // the oldest is dropped
            }
        }
    }
    available_.notify_all();
}

std::optional<TPlayerEvent> TPlayerEventRing::Take() {
    std::lock_guard lock(mutex_);
    if (read_ == write_) {
        return std::nullopt;
    }
    TPlayerEvent e = entries_[read_];
    read_ = (read_ + 1) % kSize;
    return e;
}

void TPlayerEventRing::WaitAvailable() {
    std::unique_lock lock(mutex_);
    available_.wait(lock, [this] { return read_ != write_; });
}

void TPlayerEventRing::Clear() {
    std::lock_guard lock(mutex_);
    read_ = write_ = 0;
}

} // namespace quovo
