// Measures how far apart a flash-and-beep clip's flashes and beeps come out of a player: each
// picture is time-stamped when the player shows it, each sound buffer when the sound callback
// hands it to the device. Shared by the tests and the benchmarks.
#pragma once

#include "Fixtures.h"
#include "TCustomPlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace quovo::playertest {

// A PAL disc-like clip (720x576 25 fps MPEG-2, 48 kHz AC-3 in an MPEG program stream) whose
// picture flashes and whose sound beeps at every whole second.
inline fixtures::MediaSpec PalFlashBeepSpec(double seconds, int64_t videoBitRate) {
    fixtures::MediaSpec spec;
    spec.container = "dvd";
    spec.videoCodec = "mpeg2video";
    spec.width = 720;
    spec.height = 576;
    spec.sampleAspect = {64, 45};
    spec.videoBitRate = videoBitRate;
    spec.gopSize = 15;
    spec.maxBFrames = 2;
    spec.flashBeep = true;
    spec.durationS = seconds;
    spec.audio = {fixtures::AudioTrackSpec{"ac3", 48000, 2, 440.0, "", 192000}};
    return spec;
}

struct TSyncFigures {
    int pairs = 0;       // flashes with a beep within half a second
    double meanMs = 0;   // mean of (beep - flash)
    double maxAbsMs = 0; // largest |beep - flash|
    // Pairs whose beep was handed out by a sound thread that had stood still for more than
    // three buffers (the machine did not run it): counted here, not in the figures above.
    int stalled = 0;
    double stalledMaxAbsMs = 0;
};

inline std::string Describe(const TSyncFigures& f) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "%d flashes, beep - flash mean %.1f ms, max %.1f ms; %d after a stalled sound "
                  "thread, max %.1f ms",
                  f.pairs, f.meanMs, f.maxAbsMs, f.stalled, f.stalledMaxAbsMs);
    return text;
}

class TAvSyncMeter {
public:
    // Attach before Open; the player must outlive the meter's use.
    explicit TAvSyncMeter(TCustomPlayer& player) {
        player.OnPictureShown = [this](const TOutputImage& image, double, int64_t shownUs) {
            Picture(image, shownUs);
        };
        player.OnSoundOut = [this](const uint8_t* data, int bytes, int rate, int channels,
                                   int64_t handedUs) {
            Sound(data, bytes, rate, channels, handedUs);
        };
    }

    // Pairs flashes shown at or after `fromUs` (monotonic us, 0 = all) with their beeps.
    TSyncFigures Figures(int64_t fromUs = 0) const {
        std::lock_guard lock(mutex_);
        TSyncFigures f;
        double sum = 0;
        for (int64_t flash : flashes_) {
            if (flash < fromUs) {
                continue;
            }
            int64_t best = INT64_MAX;
            bool stalled = false;
            for (const TBeep& beep : beeps_) {
                if (std::llabs(beep.handedUs - flash) < std::llabs(best)) {
                    best = beep.handedUs - flash;
                    stalled = beep.afterStall;
                }
            }
            if (std::llabs(best) > 500000) {
                continue;
            }
            if (stalled) {
                ++f.stalled;
                f.stalledMaxAbsMs = std::max(f.stalledMaxAbsMs, std::llabs(best) / 1000.0);
                continue;
            }
            ++f.pairs;
            sum += best / 1000.0;
            f.maxAbsMs = std::max(f.maxAbsMs, std::llabs(best) / 1000.0);
        }
        f.meanMs = f.pairs ? sum / f.pairs : 0;
        return f;
    }
    int Flashes() const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(flashes_.size());
    }

private:
    void Picture(const TOutputImage& image, int64_t shownUs) {
        // The flash is a white band over the bottom eighth of the picture.
        const int top = image.height - image.height / 8 + 2;
        int64_t sum = 0, count = 0;
        for (int y = top; y < image.height - 2; ++y) {
            const uint8_t* row = image.pixels.data() + static_cast<size_t>(y) * image.stride;
            for (int x = 0; x < image.width; ++x) {
                sum += row[x * 4 + 1];
                ++count;
            }
        }
        const bool lit = count > 0 && sum > 190 * count;
        std::lock_guard lock(mutex_);
        if (lit && !lit_) {
            flashes_.push_back(shownUs);
        }
        lit_ = lit;
    }
    void Sound(const uint8_t* data, int bytes, int rate, int channels, int64_t handedUs) {
        const auto* samples = reinterpret_cast<const int16_t*>(data);
        const int frames = bytes / (2 * channels);
        std::lock_guard lock(mutex_);
        const bool afterStall =
            lastHandedUs_ && handedUs - lastHandedUs_ > 3 * int64_t{frames} * 1000000 / rate;
        lastHandedUs_ = handedUs;
        for (int i = 0; i < frames; ++i) {
            if (std::abs(samples[i * channels]) > 32767 / 4) {
                if (quiet_ >= rate / 20) {
                    beeps_.push_back(
                        {handedUs + static_cast<int64_t>(i) * 1000000 / rate, afterStall});
                }
                quiet_ = 0;
            } else {
                ++quiet_;
            }
        }
    }

    struct TBeep {
        int64_t handedUs;
        bool afterStall;
    };
    mutable std::mutex mutex_;
    std::vector<int64_t> flashes_;
    std::vector<TBeep> beeps_;
    int64_t lastHandedUs_ = 0;
    bool lit_ = false;
    int64_t quiet_ = INT64_MAX / 2;
};

} // namespace quovo::playertest
