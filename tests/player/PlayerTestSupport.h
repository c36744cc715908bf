// Shared pieces of the player tests: generated clips, a recorder of a player's events, and waits
// that keep the main thread's queue running.
#pragma once

#include "Fixtures.h"
#include "MainThread.h"
#include "TFFPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quovo::playertest {

// A clip made once per test process into the fixture folder.
inline std::string Clip(const std::string& name, const fixtures::MediaSpec& spec) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    const std::string path = fixtures::FixtureDir() + "/" + name;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
        return path;
    }
    fixtures::MakeMedia(path, spec);
    return path;
}

// 2 s of 320x240 25 fps H.264 with an AAC tone.
inline std::string PictureClip() {
    fixtures::MediaSpec spec;
    spec.durationS = 2.0;
    return Clip("player-pictures.mkv", spec);
}

// 2 s of a stereo AAC tone, no pictures.
inline std::string SoundClip() {
    fixtures::MediaSpec spec;
    spec.videoCodec.clear();
    spec.durationS = 2.0;
    return Clip("player-sound.mka", spec);
}

// Waits up to `seconds` for `done`, running the main thread's pending procedures meanwhile.
inline bool WaitUntil(const std::function<bool()>& done, double seconds = 10.0) {
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        WaitAndDrainMainThreadQueue(std::chrono::milliseconds(5));
    }
    return true;
}

// Records what a player reports.
class TEventLog {
public:
    explicit TEventLog(TCustomPlayer& player) {
        player.SetOnState([this](TCustomPlayer*, TPlayState s) {
            std::lock_guard lock(mutex_);
            states_.push_back(s);
        });
        player.SetOnPosition([this](TCustomPlayer*, int64_t pts) {
            std::lock_guard lock(mutex_);
            positions_.push_back(pts);
        });
    }
    std::vector<TPlayState> States() const {
        std::lock_guard lock(mutex_);
        return states_;
    }
    std::vector<int64_t> Positions() const {
        std::lock_guard lock(mutex_);
        return positions_;
    }
    int Count(TPlayState s) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(states_.begin(), states_.end(), s));
    }
    bool WaitFor(TPlayState s, int times = 1, double seconds = 10.0) const {
        return WaitUntil([&] { return Count(s) >= times; }, seconds);
    }

private:
    mutable std::mutex mutex_;
    std::vector<TPlayState> states_;
    std::vector<int64_t> positions_;
};

} // namespace quovo::playertest
