// Reading a DVD title: the whole of title 1 of the test disc demuxed through the "opendvd:"
// reader (libdvdread blocks, stream filtering, the custom AVIOContext), beside demuxing the same
// VOB file directly. The reader should cost next to nothing on top of the demuxer.
#include "DVDPlugIn.h"
#include "DvdDisc.h"
#include "Fixtures.h"
#include "LibraryIO.h"
#include "TFFLogger.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <benchmark/benchmark.h>

#include <filesystem>
#include <stdexcept>

using namespace quovo;

namespace {

const fixtures::DvdDisc& BenchDisc() {
    return fixtures::TestDvdDisc(fixtures::FixtureDir() + "/dvd");
}

// The disc as an ISO image (fromFolder false) or as its VIDEO_TS folder.
std::string TitleName(bool fromFolder) {
    return std::string("opendvd:") + (fromFolder ? BenchDisc().folder : BenchDisc().iso) +
           "|Title=1,FromChapter=1,ToChapter=4,AudioID=128,SubtitleID=32,AudioChannels=2,"
           "Deinterlace=0";
}

// Demuxes `name` to the end; returns the bytes of the packets read.
int64_t DemuxAll(const std::string& name, bool customIO) {
    std::unique_ptr<TLibraryIO> io;
    AVFormatContext* raw = avformat_alloc_context();
    if (customIO) {
        if (TLibraryIO::Open(name, AVIO_FLAG_READ, io) < 0) {
            avformat_free_context(raw);
            throw std::runtime_error("cannot open " + name);
        }
        raw->pb = io->Context();
        raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    if (avformat_open_input(&raw, name.c_str(), nullptr, nullptr) < 0) {
        throw std::runtime_error("cannot demux " + name);
    }
    AvInputContextPtr ic(raw);
    avformat_find_stream_info(ic.get(), nullptr);
    AvPacketPtr pkt = MakePacket();
    int64_t bytes = 0;
    while (av_read_frame(ic.get(), pkt.get()) >= 0) {
        bytes += pkt->size;
        av_packet_unref(pkt.get());
    }
    return bytes;
}

void Prepare() {
    FFLogger()->SetTriggerEventInMainThread(false);
    FFLogger()->SetLogLevel(llQuiet);
    av_log_set_level(AV_LOG_QUIET);
    if (!LoadDVDPlugin(DefaultDVDPluginFolder())) {
        throw std::runtime_error(DVDPluginError());
    }
    BenchDisc();
}

void BM_DvdTitle_OpenDVDReader(benchmark::State& state) {
    Prepare();
    const std::string name = TitleName(state.range(0) != 0);
    state.SetLabel(state.range(0) != 0 ? "VIDEO_TS folder" : "ISO image");
    for (auto _ : state) {
        benchmark::DoNotOptimize(DemuxAll(name, true));
    }
    const auto vob = BenchDisc().folder + "/VIDEO_TS/VTS_01_1.VOB";
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(vob)));
}

void BM_DvdTitle_VobDirect(benchmark::State& state) {
    Prepare();
    const auto vob = BenchDisc().folder + "/VIDEO_TS/VTS_01_1.VOB";
    for (auto _ : state) {
        benchmark::DoNotOptimize(DemuxAll(vob, false));
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(vob)));
}

} // namespace

BENCHMARK(BM_DvdTitle_OpenDVDReader)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DvdTitle_VobDirect)->Unit(benchmark::kMillisecond)->UseRealTime();
