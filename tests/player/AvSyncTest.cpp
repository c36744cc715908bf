#include "AvSyncMeter.h"
#include "PlayerTestSupport.h"

#include <cstdio>

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

TEST(AvSyncTest, EveryBeepComesWithItsFlashAlsoAfterPauseAndSeek) {
    TFFPlayer player;
    ASSERT_TRUE(player.LoadLibraries(""));
    player.TriggerEventInMainThread = false;
    player.AudioDriver = adDummy;
    TAvSyncMeter meter(player);
    TEventLog log(player);
    player.SetOnFileOpen([](TCustomPlayer*, int64_t, int, int, int& sw, int& sh) {
        sw = 160;
        sh = 120;
    });
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

} // namespace
} // namespace quovo
