// The conversion component's events: the picture benchmark's clip (30 s 720x576 MPEG-2 + MP2 to
// MPEG-4 320x240 + MP3 in AVI) run through TMediaConverter on a worker thread, without handlers
// and with every event on (progress every 100 ms delivered to this main thread, preview pictures
// to a no-op handler, a no-op picture hook). The events should cost less than 3% of the run.
// The argument is a set of bits: 1 progress, 2 previews, 4 a hook that clears Update, 8 a hook
// that leaves it set, 16 a hook that paints a small box (the picture is then converted to BGR and
// back for every frame). Each iteration converts once without handlers and once with the events,
// in alternating order, so that a shared machine's drift falls on both: the counters are the
// medians of the per-iteration ratios, of wall time and of process CPU time, and the ratio of
// the fastest runs of each kind. A second pair
// compares codec threads 1 with the library's choice (0).
#include "BenchSupport.h"
#include "Fixtures.h"
#include "MainThread.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TMediaConverter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
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
    kHookSkips = 4,   // a hook that clears Update
    kHookKeeps = 8,   // a hook that leaves Update set
    kHookPaints = 16, // a hook that paints a box into every picture
    kAllHookSkips = kProgress | kPreview | kHookSkips,
    kAllHookKeeps = kProgress | kPreview | kHookKeeps,
    kAllHookPaints = kProgress | kPreview | kHookPaints,
};

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
    const bool hook = events & (kHookSkips | kHookKeeps | kHookPaints);
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
            info->Update = (events & (kHookKeeps | kHookPaints)) != 0;
            if (events & kHookPaints) {
                TPicture& p = *info->Bitmap;
                for (int y = 16; y < 48 && y < p.Height(); ++y) {
                    std::memset(p.ScanLine(y) + 3 * 16, 255, 3 * 32);
                }
            }
        });
    }
    const int t = c.AddTask(bench::DvdClip(30));
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

bench::Timing TimedConvert(EventSet events, int64_t& delivered) {
    return bench::Timed([&] { delivered += Convert(events, 1); });
}

void BM_EventsCost(benchmark::State& state) {
    Prepare();
    bench::DvdClip(30);
    const auto events = static_cast<EventSet>(state.range(0));
    int64_t delivered = 0;
    std::vector<double> wallRatios, cpuRatios;
    double fastestPlain = 1e9, fastestWithEvents = 1e9;
    for (auto _ : state) {
        int64_t none = 0;
        const auto [plain, withEvents] = bench::InTurn(
            wallRatios.size(), [&] { return TimedConvert(kNone, none); },
            [&] { return TimedConvert(events, delivered); });
        state.SetIterationTime(withEvents.wall);
        fastestPlain = std::min(fastestPlain, plain.wall);
        fastestWithEvents = std::min(fastestWithEvents, withEvents.wall);
        wallRatios.push_back(withEvents.wall / plain.wall);
        cpuRatios.push_back(withEvents.cpu / plain.cpu);
    }
    state.counters["events/run"] =
        static_cast<double>(delivered) / static_cast<double>(state.iterations());
    state.counters["wall_cost_%"] = (bench::Median(wallRatios) - 1) * 100;
    state.counters["cpu_cost_%"] = (bench::Median(cpuRatios) - 1) * 100;
    // Noise only adds time: the fastest runs of each kind are the steadiest comparison.
    state.counters["fastest_cost_%"] = (fastestWithEvents / fastestPlain - 1) * 100;
}

void BM_CodecThreads(benchmark::State& state) {
    Prepare();
    bench::DvdClip(30);
    for (auto _ : state) {
        Convert(kNone, static_cast<int>(state.range(0)));
    }
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 30 * 25, benchmark::Counter::kIsRate);
}

// Pairs per argument: QUOVO_EVENTS_ITERATIONS, else 12 (1 for a run under an instruction counter).
int PairCount() {
    return bench::CountFromEnv("QUOVO_EVENTS_ITERATIONS", 12);
}

} // namespace

BENCHMARK(BM_EventsCost)
    ->ArgName("events")
    ->Arg(kProgress | kPreview)
    ->Arg(kHookSkips)
    ->Arg(kAllHookSkips)
    ->Arg(kAllHookKeeps)
    ->Arg(kAllHookPaints)
    ->Iterations(PairCount())
    ->Repetitions(1) // the pairs are the repetitions
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_CodecThreads)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
