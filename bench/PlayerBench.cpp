// Preview playback: 20 s of a 720x576 25 fps MPEG-2 + AC-3 clip whose picture flashes and whose
// sound beeps at every whole second, played through SDL's dummy sound driver. Reported: pictures
// dropped, CPU seconds per second of playback, and how far each beep lands from its flash
// (mean and largest, ms); once on an idle machine and once beside a conversion using both cores.
#include "AvSyncMeter.h"
#include "BenchSupport.h"
#include "Fixtures.h"
#include "MainThread.h"
#include "TFFPlayer.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace quovo;

namespace {

const std::string& PalClip() {
    static const std::string path = [] {
        std::string p = fixtures::FixtureDir() + "/bench-player-pal.mpg";
        fixtures::MediaSpec spec = playertest::PalFlashBeepSpec(20, 6000000);
        spec.grain = 12; // packets of a real film's size
        fixtures::MakeMedia(p, spec);
        return p;
    }();
    return path;
}

// Conversions of the 720x576 clip to H.264, again and again until stopped; two of them at once
// keep both cores busy.
void Convert(const std::atomic<bool>& stop, int n) {
    const std::string out =
        fixtures::FixtureDir() + "/bench-player-load" + std::to_string(n) + ".mp4";
    while (!stop) {
        TCustomFFmpeg e;
        e.SetOption("v", "-1");
        if (!e.OpenInputFile(PalClip())) {
            return;
        }
        e.SetOption("vcodec", "libx264");
        e.SetOption("y", "");
        if (e.OpenOutputFile(out, false) < 0) {
            return;
        }
        std::atomic<bool> done{false};
        std::thread watch([&] {
            while (!stop && !done) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            e.RequestStop();
        });
        e.Transcode();
        done = true;
        watch.join();
        e.ReleaseAll();
    }
}

void Playback(benchmark::State& state, bool loaded) {
    bench::QuietLibraries();
    const std::string clip = PalClip();
    for (auto _ : state) {
        TFFPlayer player;
        if (!player.LoadLibraries("")) {
            state.SkipWithError(player.LastError().c_str());
            return;
        }
        player.TriggerEventInMainThread = false;
        player.AudioDriver = adDummy;
        player.SetOnFileOpen([](TCustomPlayer*, int64_t, int, int, int& sw, int& sh) {
            sw = 720;
            sh = 405;
        });
        std::atomic<bool> ended{false};
        player.SetOnState([&](TCustomPlayer*, TPlayState s) { ended = ended || s == psEnd; });
        playertest::TAvSyncMeter meter(player);
        std::atomic<bool> stopLoad{false};
        std::vector<std::thread> load;
        if (loaded) {
            for (int n = 0; n < 2; ++n) {
                load.emplace_back([&stopLoad, n] { Convert(stopLoad, n); });
            }
        }
        const double cpu0 = bench::CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        if (!player.Open(clip, nullptr)) {
            state.SkipWithError(player.LastError().c_str());
            stopLoad = true;
            for (std::thread& t : load) {
                t.join();
            }
            return;
        }
        while (!ended) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = bench::CpuSeconds() - cpu0;
        player.Stop(true);
        stopLoad = true;
        for (std::thread& t : load) {
            t.join();
        }
        const playertest::TSyncFigures f = meter.Figures();
        state.counters["dropped"] = static_cast<double>(player.DroppedPictures());
        // With the load running, the process's CPU includes the conversion's.
        state.counters["cpu_s_per_s"] = cpu / seconds;
        state.counters["av_pairs"] = f.pairs;
        state.counters["av_mean_ms"] = f.meanMs;
        state.counters["av_max_ms"] = f.maxAbsMs;
        // Beeps the sound thread handed out after the machine had not run it for three buffers.
        state.counters["av_stalled_pairs"] = f.stalled;
        state.counters["av_stalled_max_ms"] = f.stalledMaxAbsMs;
    }
}

void BM_Player_Pal20s_Idle(benchmark::State& state) {
    Playback(state, false);
}
void BM_Player_Pal20s_BesideConversion(benchmark::State& state) {
    Playback(state, true);
}

} // namespace

BENCHMARK(BM_Player_Pal20s_Idle)
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(BM_Player_Pal20s_BesideConversion)
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
