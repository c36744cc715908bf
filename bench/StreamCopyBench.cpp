// Stream copy: the engine remuxing a 60 s H.264 + AAC Matroska clip into MP4, beside the smallest
// remux loop the libraries allow. The engine's bookkeeping (timestamp fixing, stream choice,
// bitstream-filter chains) should cost next to nothing on top of demuxing and muxing.
#include "BenchSupport.h"
#include "Fixtures.h"
#include "TCustomFFmpeg.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <stdexcept>

using namespace quovo;
using bench::Check;

namespace {

const std::string& LongClip() {
    static const std::string path = [] {
        std::string p = fixtures::FixtureDir() + "/bench-60s-h264-aac-grain.mkv";
        fixtures::MediaSpec spec = fixtures::StandardSpec("h264-aac.mkv");
        spec.durationS = 60;
        spec.width = 640;
        spec.height = 360;
        // Grain gives packets of a real film's size (a few Mbit/s), so per-packet work shows.
        spec.videoOptions = {{"preset", "ultrafast"}, {"crf", "23"}};
        spec.grain = 12;
        fixtures::MakeMedia(p, spec);
        return p;
    }();
    return path;
}

std::string OutputPath() {
    return fixtures::FixtureDir() + "/bench-remux.mp4";
}

// The reference: demux, rescale, interleave, mux.
void DirectRemux(const std::string& in, const std::string& out) {
    auto [ic, oc] = bench::OpenDirect(in, out);
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        AVStream* st = avformat_new_stream(oc.get(), nullptr);
        Check(avcodec_parameters_copy(st->codecpar, ic->streams[i]->codecpar), "copy");
        st->codecpar->codec_tag = 0;
        st->time_base = ic->streams[i]->time_base;
    }
    Check(avio_open(&oc->pb, out.c_str(), AVIO_FLAG_WRITE), "open output");
    Check(avformat_write_header(oc.get(), nullptr), "header");
    AvPacketPtr pkt = MakePacket();
    while (av_read_frame(ic.get(), pkt.get()) >= 0) {
        av_packet_rescale_ts(pkt.get(), ic->streams[pkt->stream_index]->time_base,
                             oc->streams[pkt->stream_index]->time_base);
        Check(av_interleaved_write_frame(oc.get(), pkt.get()), "write");
    }
    Check(av_write_trailer(oc.get()), "trailer");
    avio_closep(&oc->pb);
}

void EngineRemux(const std::string& in, const std::string& out) {
    bench::RunEngine(in, out, {{"vcodec", "copy"}, {"acodec", "copy"}});
}

void Prepare() {
    bench::QuietLibraries();
    LongClip();
}

void BM_StreamCopy_Engine(benchmark::State& state) {
    Prepare();
    for (auto _ : state) {
        EngineRemux(LongClip(), OutputPath());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(LongClip())));
}

void BM_StreamCopy_DirectLoop(benchmark::State& state) {
    Prepare();
    for (auto _ : state) {
        DirectRemux(LongClip(), OutputPath());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(LongClip())));
}

void BM_StreamCopy_InTurn(benchmark::State& state) {
    Prepare();
    bench::EngineAgainstDirect(
        state, [] { EngineRemux(LongClip(), OutputPath()); },
        [] { DirectRemux(LongClip(), OutputPath()); });
}

} // namespace

BENCHMARK(BM_StreamCopy_Engine)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StreamCopy_DirectLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StreamCopy_InTurn)
    ->Iterations(bench::CountFromEnv("QUOVO_ENGINE_PAIRS", 30))
    ->Repetitions(1) // the pairs are the repetitions
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
