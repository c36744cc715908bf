// A manual-reset event: stays signalled until reset; waiters see the state, not a pulse.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace quovo {

class TManualResetEvent {
public:
    explicit TManualResetEvent(bool signalled) : signalled_(signalled) {}

    void Set() {
        // Notified under the lock: a waiter that then destroys the event cannot race the notify.
        std::lock_guard lock(mutex_);
        signalled_ = true;
        changed_.notify_all();
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }
    bool IsSet() const {
        std::lock_guard lock(mutex_);
        return signalled_;
    }
    // Returns whether the event was signalled within `timeout`.
    bool WaitFor(std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return signalled_; });
    }
    void Wait() const {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return signalled_; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool signalled_; // --- guarded by mutex_
};

} // namespace quovo
