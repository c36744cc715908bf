#include "AvSyncMeter.h"
#include "PlayerTestSupport.h"

#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/time.h>
}

namespace quovo {
namespace {

using namespace playertest;

// The bound leaves room for a loaded test machine; the benchmarks report the exact figures.
constexpr double kGenerousBoundMs = 80.0;

std::string FlashBeepClip() {
    fixtures::MediaSpec spec;
    spec.flashBeep = true;
    spec.durationS = 7.0;
    spec.audio = {fixtures::AudioTrackSpec{"aac", 48000, 2, 440.0, ""}};
    return Clip("player-flashbeep.mkv", spec);
}

// A player on SDL's dummy sound driver, showing pictures at 160x120.
class AvSyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(player.LoadLibraries(""));
        player.TriggerEventInMainThread = false;
        player.AudioDriver = adDummy;
        player.SetOnFileOpen([](TCustomPlayer*, int64_t, int, int, int& sw, int& sh) {
            sw = 160;
            sh = 120;
        });
    }

    TFFPlayer player;
    TEventLog log{player};
};

TEST_F(AvSyncTest, EveryBeepComesWithItsFlashAlsoAfterPauseAndSeek) {
    TAvSyncMeter meter(player);
    ASSERT_TRUE(player.Open(FlashBeepClip(), nullptr));
    ASSERT_TRUE(WaitUntil([&] { return player.Position() > 2200000; }));
    const TSyncFigures plain = meter.Figures();

    player.Pause();
    WaitUntil([] { return false; }, 0.3);
    const int64_t resumedAt = av_gettime_relative();
    player.Resume();
    ASSERT_TRUE(WaitUntil([&] { return player.Position() > 4600000; }));
    const TSyncFigures afterPause = meter.Figures(resumedAt);

    const int64_t seekAt = av_gettime_relative();
    player.Seek(0, true, 5500000);
    ASSERT_TRUE(log.WaitFor(psEnd));
    WaitUntil([] { return false; }, 0.2);
    const TSyncFigures afterSeek = meter.Figures(seekAt);
    player.Stop(true);

    struct Part {
        const char* name;
        TSyncFigures f;
        int atLeast;
    };
    for (const Part& p : {Part{"playing", plain, 2}, Part{"after pause and resume", afterPause, 1},
                          Part{"after a seek", afterSeek, 1}}) {
        SCOPED_TRACE(p.name);
        std::printf("%s: %s\n", p.name, Describe(p.f).c_str());
        EXPECT_GE(p.f.pairs + p.f.stalled, p.atLeast);
        EXPECT_LE(p.f.maxAbsMs, kGenerousBoundMs) << "mean " << p.f.meanMs;
    }
}

// The pictures keep to the sound clock, so it must move with time: no step ahead while the sound
// thread is half-way through a buffer, and none where the demuxer gives an audio frame its
// neighbour's time (this DVD-shaped clip has one at 16.18 s). A stalled sound thread only makes
// the clock stand.
TEST_F(AvSyncTest, TheSoundClockMovesWithTimeWithoutSteps) {
    fixtures::MediaSpec spec = PalFlashBeepSpec(17, 6000000);
    spec.grain = 12; // packets of the bench's size, which put the odd timestamp there
    ASSERT_TRUE(player.Open(Clip("player-pal-grain.mpg", spec), nullptr));
    // Steps ahead of the monotonic clock (ms) between readings 0.5 ms apart.
    const auto steps = [&](const std::function<bool()>& until) {
        std::vector<double> found;
        int64_t lastAt = 0;
        double last = 0;
        while (!until()) {
            const int64_t at = av_gettime_relative();
            const double clock = player.AudioClock();
            if (last > 0) {
                const double stepMs = (clock - last) * 1000 - (at - lastAt) / 1000.0;
                if (stepMs > 5) {
                    found.push_back(stepMs);
                }
            }
            lastAt = at;
            last = clock;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return found;
    };
    const std::vector<double> fromStart =
        steps([&] { return player.Position() > 4000000 || log.Count(psEnd) > 0; });
    player.Seek(0, true, 15500000);
    ASSERT_TRUE(WaitUntil([&] { return player.AudioClock() > 15.5; }));
    const std::vector<double> pastTheOddTime = steps([&] { return log.Count(psEnd) > 0; });
    player.Stop(true);
    EXPECT_TRUE(fromStart.empty()) << fromStart.size() << " steps, first " << fromStart.front();
    EXPECT_TRUE(pastTheOddTime.empty())
        << pastTheOddTime.size() << " steps, first " << pastTheOddTime.front();
}

// The sound waits for the first picture, its clock standing at zero; the first pictures are
// timed by their own spacing then, not stretched to wait for that clock and dropped after it.
TEST_F(AvSyncTest, TheFirstPicturesKeepTheirSpacingWhileTheSoundWaits) {
    std::mutex mutex;
    std::vector<std::pair<double, int64_t>> shown; // pts, when
    player.OnPictureShown = [&](const TOutputImage&, double pts, int64_t shownUs) {
        std::lock_guard lock(mutex);
        shown.emplace_back(pts, shownUs);
    };
    ASSERT_TRUE(player.Open(Clip("player-pal.mpg", PalFlashBeepSpec(2, 2000000)), nullptr));
    ASSERT_TRUE(log.WaitFor(psEnd));
    player.Stop(true);
    std::lock_guard lock(mutex);
    // Held back against the standing clock, the second and third came 40 ms late each and the
    // fourth was dropped to catch up once the sound ran.
    ASSERT_GE(shown.size(), 6u);
    for (size_t i = 1; i < 6; ++i) {
        EXPECT_NEAR(shown[i].first - shown[i - 1].first, 0.040, 0.001) << "picture " << i;
    }
}

} // namespace
} // namespace quovo
