// The frame effects' cost in a conversion: the picture benchmark's 720x576 MPEG-2 clip (10 s)
// converted to MPEG-4 320x240 through TMediaConverter at one codec thread, without the hook
// against the same with it. The argument chooses what the hook does: 0 only the picture's round
// trip (a hook that asks for writable bytes), 1 the four effects (brightness, contrast,
// saturation, exposure), 2 the four effects with a text and an image watermark. Each iteration
// converts once plainly and once with the hook, in alternating order; the counters are the
// medians of the per-iteration ratios (wall and CPU time) and the ratio of the fastest runs.
// BM_EffectsFrame times one 720x576 picture through the effects alone.
#include "BenchSupport.h"
#include "FrameEffects.h"
#include "MainThread.h"
#include "TEffectsCache.h"
#include "TEffectsHook.h"
#include "TMediaConverter.h"

#include <QGuiApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

using namespace quovo;

namespace {

enum HookWork { kRoundTrip = 0, kFourEffects = 1, kEffectsAndWatermarks = 2 };

// Text needs the application's fonts: one offscreen application for the benchmarks.
void EnsureGuiApplication() {
    static int argc = 1;
    static char name[] = "quovo-bench";
    static char* argv[] = {name, nullptr};
    if (QGuiApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        new QGuiApplication(argc, argv); // lives as long as the process
    }
}

TFrameEffects Effects(HookWork work) {
    TFrameEffects e;
    e.Brightness = 300;
    e.Contrast = 20;
    e.Saturation = 300;
    e.Exposure = 40;
    if (work == kEffectsAndWatermarks) {
        e.Text = QStringLiteral("Quovo preview");
        e.Font = QFont(QStringLiteral("MS Sans Serif"), 24);
        e.TextColor = Qt::white;
        e.TextLeft = 40;
        e.TextTop = 40;
        const QString image = QString::fromStdString(fixtures::FixtureDir() + "/bench-mark.png");
        QImage mark(160, 90, QImage::Format_ARGB32);
        mark.fill(QColor(200, 40, 40, 180));
        if (!mark.save(image)) {
            throw std::runtime_error("cannot write the watermark image");
        }
        e.ImageFile = image;
        e.ImageLeft = 520;
        e.ImageTop = 440;
        e.ProcessText = true;
    }
    return e;
}

// One conversion; with `hook`, every frame goes through it.
double Convert(const std::string& in, TCustomHookEvent hook) {
    TMediaConverter c;
    c.SetCodecThreads(1);
    std::atomic<bool> done{false};
    c.SetOnTerminate([&](TCustomMediaConverter*, const TTerminateInfo& t) {
        if (t.TaskIndex < 0) {
            done = true;
        }
    });
    const int t = c.AddTask(in);
    if (t < 0) {
        throw std::runtime_error(c.LastErrMsg());
    }
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.VideoBitrate = 800000;
    o.FrameSize = "320x240";
    o.AudioCodec = "libmp3lame";
    o.AudioBitrate = 128000;
    o.CustomHook = static_cast<bool>(hook);
    if (hook) {
        c.SetOnCustomHook(std::move(hook));
    }
    if (!c.SetOutputFile(t, fixtures::FixtureDir() + "/bench-effects.avi", &o)) {
        throw std::runtime_error(c.LastErrMsg());
    }
    const double cpuStart = bench::CpuSeconds();
    c.StartTask(1);
    while (!done) {
        WaitAndDrainMainThreadQueue(std::chrono::milliseconds(20));
    }
    return bench::CpuSeconds() - cpuStart;
}

// The CPU time is the conversion's own, without the component's set-up.
bench::Timing TimedConvert(const std::string& in, TCustomHookEvent hook) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = Convert(in, std::move(hook));
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), cpu};
}

void BM_EffectsCost(benchmark::State& state) {
    bench::QuietLibraries();
    EnsureGuiApplication();
    const std::string& in = bench::DvdClip(10);
    const auto work = static_cast<HookWork>(state.range(0));
    TEffectsHook effects;
    const auto hook = [&]() -> TCustomHookEvent {
        if (work == kRoundTrip) {
            return [](TCustomMediaConverter*, THookInfo* info) { info->Bitmap->Bits(); };
        }
        effects.Clear();
        effects.SetTaskEffects(0, Effects(work));
        return effects.Handler();
    };
    std::vector<double> wallRatios, cpuRatios;
    double fastestPlain = 1e9, fastestHooked = 1e9;
    for (auto _ : state) {
        const auto [plain, hooked] = bench::InTurn(
            wallRatios.size(), [&] { return TimedConvert(in, nullptr); },
            [&] { return TimedConvert(in, hook()); });
        state.SetIterationTime(hooked.wall);
        fastestPlain = std::min(fastestPlain, plain.wall);
        fastestHooked = std::min(fastestHooked, hooked.wall);
        wallRatios.push_back(hooked.wall / plain.wall);
        cpuRatios.push_back(hooked.cpu / plain.cpu);
    }
    state.counters["wall_cost_%"] = (bench::Median(wallRatios) - 1) * 100;
    state.counters["cpu_cost_%"] = (bench::Median(cpuRatios) - 1) * 100;
    state.counters["fastest_cost_%"] = (fastestHooked / fastestPlain - 1) * 100;
}

void BM_EffectsFrame(benchmark::State& state) {
    EnsureGuiApplication();
    const auto work = static_cast<HookWork>(state.range(0));
    const TFrameEffects e = Effects(work);
    TEffectsCache cache;
    TPicture picture(720, 576);
    for (int y = 0; y < 576; ++y) {
        for (int x = 0; x < 720 * 3; ++x) {
            picture.ScanLine(y)[x] = static_cast<uint8_t>((x * 7 + y * 13) & 255);
        }
    }
    for (auto _ : state) {
        ApplyFrameEffects(picture, e, cache);
        benchmark::DoNotOptimize(picture.Bits());
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

int PairCount() {
    return bench::CountFromEnv("QUOVO_EFFECTS_ITERATIONS", 6);
}

} // namespace

BENCHMARK(BM_EffectsCost)
    ->ArgName("work")
    ->Arg(kRoundTrip)
    ->Arg(kFourEffects)
    ->Arg(kEffectsAndWatermarks)
    ->Iterations(PairCount())
    ->Repetitions(1) // the pairs are the repetitions
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_EffectsFrame)
    ->ArgName("work")
    ->Arg(kFourEffects)
    ->Arg(kEffectsAndWatermarks)
    ->Unit(benchmark::kMicrosecond);
