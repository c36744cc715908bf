// What every benchmark does first, and the engine run they measure.
#pragma once

#include "AvPtr.h"
#include "Fixtures.h"
#include "TCustomFFmpeg.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

namespace quovo::bench {

// A repeat count from the environment (a run under an instruction counter asks for 1), else
// the benchmark's own.
inline int CountFromEnv(const char* name, int fallback) {
    const char* value = std::getenv(name);
    const int n = value ? std::atoi(value) : 0;
    return n > 0 ? n : fallback;
}

using Options = std::vector<std::pair<std::string, std::string>>;

// Libraries loaded, every message silenced: logging must not be what is measured.
inline void QuietLibraries() {
    FFLogger()->SetTriggerEventInMainThread(false);
    FFLogger()->SetLogLevel(llQuiet);
    FFLoader().LoadLibraries(ConverterLibraryMask);
    av_log_set_level(AV_LOG_QUIET);
}

// The process's CPU time in seconds (every thread).
inline double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// One engine run: `out` options are set after the input is opened, before the output is created.
inline void RunEngine(const std::string& in, const std::string& out, const Options& options) {
    TCustomFFmpeg e;
    e.SetOption("v", "-1");
    if (!e.OpenInputFile(in)) {
        throw std::runtime_error(e.LastErrorText());
    }
    for (const auto& [name, value] : options) {
        e.SetOption(name, value);
    }
    if (e.OpenOutputFile(out, false) < 0) {
        throw std::runtime_error(e.LastErrorText());
    }
    e.Transcode();
    e.ReleaseAll();
}

// A library result that must not be an error; the reference loops stop at the first.
inline void Check(int err, const char* what) {
    if (err < 0) {
        throw std::runtime_error(what);
    }
}

// The reference loops' files: the input opened with its stream information, the output context
// made for `out` (its file not yet opened).
struct DirectFiles {
    AvInputContextPtr ic;
    AvFormatContextPtr oc;
};

inline DirectFiles OpenDirect(const std::string& in, const std::string& out) {
    AVFormatContext* rawIn = nullptr;
    Check(avformat_open_input(&rawIn, in.c_str(), nullptr, nullptr), "open input");
    DirectFiles files{AvInputContextPtr(rawIn), nullptr};
    Check(avformat_find_stream_info(files.ic.get(), nullptr), "stream info");
    AVFormatContext* rawOut = nullptr;
    Check(avformat_alloc_output_context2(&rawOut, nullptr, nullptr, out.c_str()), "output");
    files.oc.reset(rawOut);
    return files;
}

// Wall and CPU seconds of one run.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

template <class Run> Timing Timed(Run&& run) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    run();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            CpuSeconds() - cpu};
}

// Runs both once, the one to go first in turn (so that neither always finds the machine warmer
// or meets the other's write-back); their results in the order given.
template <class First, class Second>
auto InTurn(size_t round, First first, Second second)
    -> std::pair<decltype(first()), decltype(second())> {
    if (round % 2 == 0) {
        auto a = first();
        return {std::move(a), second()};
    }
    auto b = second();
    return {first(), std::move(b)};
}

// The engine against its direct loop, one run of each per iteration in turn. The counters are
// the medians of the per-pair cost (engine over direct, wall and CPU) and of each side's wall
// time.
template <class Engine, class Direct>
void EngineAgainstDirect(benchmark::State& state, Engine engine, Direct direct) {
    std::vector<double> wallCost, cpuCost, engineMs, directMs;
    for (auto _ : state) {
        const auto [e, d] = InTurn(
            wallCost.size(), [&] { return Timed(engine); }, [&] { return Timed(direct); });
        state.SetIterationTime(e.wall);
        wallCost.push_back(e.wall / d.wall - 1);
        cpuCost.push_back(e.cpu / d.cpu - 1);
        engineMs.push_back(e.wall * 1000);
        directMs.push_back(d.wall * 1000);
    }
    state.counters["engine_cost_%"] = Median(wallCost) * 100;
    state.counters["engine_cpu_cost_%"] = Median(cpuCost) * 100;
    state.counters["engine_ms"] = Median(engineMs);
    state.counters["direct_ms"] = Median(directMs);
}

// The picture benchmarks' source: 720x576 MPEG-2 with grain and MP2 sound in a program stream,
// `seconds` long, made once per length.
inline const std::string& DvdClip(int seconds) {
    static std::map<int, std::string> made;
    auto it = made.find(seconds);
    if (it == made.end()) {
        const std::string p =
            fixtures::FixtureDir() + "/bench-" + std::to_string(seconds) + "s-mpeg2-mp2.mpg";
        fixtures::MediaSpec spec;
        spec.container = "mpeg";
        spec.videoCodec = "mpeg2video";
        spec.width = 720;
        spec.height = 576;
        spec.videoBitRate = 4000000;
        spec.grain = 6;
        spec.audio = {fixtures::AudioTrackSpec{"mp2", 48000, 2, 440.0, "", 224000}};
        spec.durationS = seconds;
        fixtures::MakeMedia(p, spec);
        it = made.emplace(seconds, p).first;
    }
    return it->second;
}

} // namespace quovo::bench
