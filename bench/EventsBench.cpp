// The conversion component's events: the picture benchmark's clip (30 s 720x576 MPEG-2 + MP2 to
// MPEG-4 320x240 + MP3 in AVI) run through TMediaConverter on a worker thread, without handlers
// and with every event on (progress every 100 ms delivered to this main thread, preview pictures
// to a no-op handler, a no-op picture hook). The events should cost less than 3% of the run.
// The argument is a set of bits: 1 progress, 2 previews, 4 a hook that clears Update, 8 a hook
// that leaves it set (the picture is then converted back into the frame). A second pair compares
// codec threads 1 with the library's choice (0).
#include "BenchSupport.h"
#include "Fixtures.h"
#include "MainThread.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TMediaConverter.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <stdexcept>
#include <string>

using namespace quovo;

namespace {

// Bits of the events turned on.
enum EventSet {
    kNone = 0,
    kProgress = 1,
    kPreview = 2,
    kHookSkips = 4, // a hook that clears Update
    kHookKeeps = 8, // a hook that leaves Update set
    kAllHookSkips = kProgress | kPreview | kHookSkips,
    kAllHookKeeps = kProgress | kPreview | kHookKeeps,
};

const std::string& Clip() {
    static const std::string path = [] {
        const std::string p = fixtures::FixtureDir() + "/bench-events-30s-mpeg2-mp2.mpg";
        fixtures::MediaSpec spec;
        spec.container = "mpeg";
        spec.videoCodec = "mpeg2video";
        spec.width = 720;
        spec.height = 576;
        spec.videoBitRate = 4000000;
        spec.grain = 6;
        spec.audio = {fixtures::AudioTrackSpec{"mp2", 48000, 2, 440.0, "", 224000}};
        spec.durationS = 30;
        fixtures::MakeMedia(p, spec);
        return p;
    }();
    return path;
}

// One conversion through the component; returns the number of events delivered.
int64_t Convert(EventSet events, int codecThreads) {
    TMediaConverter c;
    c.SetCodecThreads(codecThreads);
    int64_t delivered = 0;
    bool done = false;
    c.SetOnTerminate([&](TCustomMediaConverter*, const TTerminateInfo& t) {
        if (t.TaskIndex < 0) {
            RunInMainThread([&] { done = true; });
        }
    });
    const bool hook = events & (kHookSkips | kHookKeeps);
    if (events & kProgress) {
        c.SetProgressInterval(100);
        c.SetOnProgress([&](TCustomMediaConverter*, TProgressInfo*) { ++delivered; });
    }
    if (events & kPreview) {
        c.SetPreviewBitmap(true);
        c.SetOnPreviewBitmap([&](TCustomMediaConverter*, const TPreviewInfo&) { ++delivered; });
    }
    if (hook) {
        c.SetOnCustomHook([&, events](TCustomMediaConverter*, THookInfo* info) {
            ++delivered;
            info->Update = (events & kHookKeeps) != 0;
        });
    }
    const int t = c.AddTask(Clip());
    if (t < 0) {
        throw std::runtime_error(c.LastErrMsg());
    }
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.VideoBitrate = 800000;
    o.FrameSize = "320x240";
    o.AudioCodec = "libmp3lame";
    o.AudioBitrate = 128000;
    o.CustomHook = hook;
    if (!c.SetOutputFile(t, fixtures::FixtureDir() + "/bench-events.avi", &o)) {
        throw std::runtime_error(c.LastErrMsg());
    }
    c.StartTask(1);
    while (!done) {
        WaitAndDrainMainThreadQueue(std::chrono::milliseconds(20));
    }
    return delivered;
}

void Prepare() {
    bench::QuietLibraries();
}

void BM_Events(benchmark::State& state) {
    Prepare();
    Clip();
    int64_t delivered = 0;
    for (auto _ : state) {
        delivered += Convert(static_cast<EventSet>(state.range(0)), 1);
    }
    state.counters["events/run"] =
        static_cast<double>(delivered) / static_cast<double>(state.iterations());
}

void BM_CodecThreads(benchmark::State& state) {
    Prepare();
    Clip();
    for (auto _ : state) {
        Convert(kNone, static_cast<int>(state.range(0)));
    }
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 30 * 25, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_Events)
    ->ArgName("events")
    ->Arg(kNone)
    ->Arg(kProgress | kPreview)
    ->Arg(kHookSkips)
    ->Arg(kAllHookSkips)
    ->Arg(kAllHookKeeps)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_CodecThreads)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
