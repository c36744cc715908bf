// Sound conversion: the engine turning a 60 s 48 kHz stereo AC-3 track into 44.1 kHz stereo AAC at
// 128 kbit/s, beside the smallest decode -> resample -> encode -> mux loop the libraries allow.
// Decoding, resampling and AAC encoding dominate; the engine's interleaving, synchronisation
// arithmetic and FIFO should stay within a few percent of the direct loop.
#include "BenchSupport.h"
#include "Fixtures.h"
#include "TCustomFFmpeg.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <benchmark/benchmark.h>

#include <filesystem>
#include <stdexcept>

using namespace quovo;
using bench::Check;

namespace {

const std::string& Ac3Track() {
    static const std::string path = [] {
        std::string p = fixtures::FixtureDir() + "/bench-60s-ac3-48k.mka";
        fixtures::MediaSpec spec;
        spec.videoCodec.clear();
        spec.audio = {fixtures::AudioTrackSpec{"ac3", 48000, 2, 440.0, "", 192000}};
        spec.durationS = 60;
        fixtures::MakeMedia(p, spec);
        return p;
    }();
    return path;
}

std::string OutputPath() {
    return fixtures::FixtureDir() + "/bench-aac.m4a";
}

// The reference: decode, resample straight into a FIFO, encode whole frames, mux.
// Kept out of line so that profilers can attribute the work to each loop.
[[gnu::noinline]] void DirectConvert(const std::string& in, const std::string& out) {
    AVFormatContext* rawIn = nullptr;
    Check(avformat_open_input(&rawIn, in.c_str(), nullptr, nullptr), "open input");
    AvInputContextPtr ic(rawIn);
    Check(avformat_find_stream_info(ic.get(), nullptr), "stream info");
    const int index = av_find_best_stream(ic.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    Check(index, "audio stream");
    AVStream* ist = ic->streams[index];
    const AVCodec* decoder = avcodec_find_decoder(ist->codecpar->codec_id);
    AvCodecContextPtr dec(avcodec_alloc_context3(decoder));
    Check(avcodec_parameters_to_context(dec.get(), ist->codecpar), "decoder parameters");
    Check(avcodec_open2(dec.get(), decoder, nullptr), "open decoder");

    AVFormatContext* rawOut = nullptr;
    Check(avformat_alloc_output_context2(&rawOut, nullptr, nullptr, out.c_str()), "output");
    AvFormatContextPtr oc(rawOut);
    const AVCodec* encoder = avcodec_find_encoder_by_name("aac");
    AvCodecContextPtr enc(avcodec_alloc_context3(encoder));
    enc->sample_rate = 44100;
    enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
    enc->bit_rate = 128000;
    enc->time_base = {1, 44100};
    av_channel_layout_default(&enc->ch_layout, 2);
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    Check(avcodec_open2(enc.get(), encoder, nullptr), "open encoder");
    AVStream* ost = avformat_new_stream(oc.get(), nullptr);
    Check(avcodec_parameters_from_context(ost->codecpar, enc.get()), "stream parameters");
    ost->time_base = enc->time_base;

    SwrContext* rawSwr = nullptr;
    Check(swr_alloc_set_opts2(&rawSwr, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                              &dec->ch_layout, dec->sample_fmt, dec->sample_rate, 0, nullptr),
          "resampler");
    SwrContextPtr swr(rawSwr);
    Check(swr_init(swr.get()), "resampler init");
    AvAudioFifoPtr fifo(av_audio_fifo_alloc(enc->sample_fmt, 2, 4096));

    Check(avio_open(&oc->pb, out.c_str(), AVIO_FLAG_WRITE), "open output");
    Check(avformat_write_header(oc.get(), nullptr), "header");
    AvPacketPtr pkt = MakePacket();
    AvPacketPtr opkt = MakePacket();
    AvFramePtr frame = MakeFrame();
    AvFramePtr resampled = MakeFrame();
    AvFramePtr encFrame = MakeFrame();
    int64_t nextPts = 0;

    auto writePackets = [&] {
        while (avcodec_receive_packet(enc.get(), opkt.get()) >= 0) {
            opkt->stream_index = 0;
            av_packet_rescale_ts(opkt.get(), enc->time_base, ost->time_base);
            Check(av_interleaved_write_frame(oc.get(), opkt.get()), "write");
        }
    };
    auto encodeFrames = [&](bool last) {
        while (av_audio_fifo_size(fifo.get()) >= enc->frame_size ||
               (last && av_audio_fifo_size(fifo.get()) > 0)) {
            const int n = std::min(enc->frame_size, av_audio_fifo_size(fifo.get()));
            av_frame_unref(encFrame.get());
            encFrame->nb_samples = n;
            encFrame->format = enc->sample_fmt;
            encFrame->sample_rate = enc->sample_rate;
            av_channel_layout_copy(&encFrame->ch_layout, &enc->ch_layout);
            Check(av_frame_get_buffer(encFrame.get(), 0), "frame");
            av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(encFrame->data), n);
            encFrame->pts = nextPts;
            nextPts += n;
            Check(avcodec_send_frame(enc.get(), encFrame.get()), "encode");
            writePackets();
        }
    };
    auto decoded = [&] {
        while (avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
            const int cap = swr_get_out_samples(swr.get(), frame->nb_samples);
            av_frame_unref(resampled.get());
            resampled->nb_samples = cap;
            resampled->format = enc->sample_fmt;
            av_channel_layout_copy(&resampled->ch_layout, &enc->ch_layout);
            Check(av_frame_get_buffer(resampled.get(), 0), "frame");
            const int got =
                swr_convert(swr.get(), resampled->data, cap,
                            const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
            Check(got, "resample");
            av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(resampled->data), got);
            encodeFrames(false);
        }
    };
    while (av_read_frame(ic.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == index) {
            Check(avcodec_send_packet(dec.get(), pkt.get()), "decode");
            decoded();
        }
        av_packet_unref(pkt.get());
    }
    avcodec_send_packet(dec.get(), nullptr);
    decoded();
    encodeFrames(true);
    avcodec_send_frame(enc.get(), nullptr);
    writePackets();
    Check(av_write_trailer(oc.get()), "trailer");
    avio_closep(&oc->pb);
}

[[gnu::noinline]] void EngineConvert(const std::string& in, const std::string& out) {
    bench::RunEngine(in, out, {{"acodec", "aac"}, {"ar", "44100"}, {"ab", "128000"}});
}

void Prepare() {
    bench::QuietLibraries();
    Ac3Track();
}

void BM_AudioConvert_Engine(benchmark::State& state) {
    Prepare();
    for (auto _ : state) {
        EngineConvert(Ac3Track(), OutputPath());
    }
    state.counters["audio_s_per_s"] = benchmark::Counter(
        60.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_AudioConvert_DirectLoop(benchmark::State& state) {
    Prepare();
    for (auto _ : state) {
        DirectConvert(Ac3Track(), OutputPath());
    }
    state.counters["audio_s_per_s"] = benchmark::Counter(
        60.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_AudioConvert_InTurn(benchmark::State& state) {
    Prepare();
    bench::EngineAgainstDirect(
        state, [] { EngineConvert(Ac3Track(), OutputPath()); },
        [] { DirectConvert(Ac3Track(), OutputPath()); });
}

} // namespace

BENCHMARK(BM_AudioConvert_Engine)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AudioConvert_DirectLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AudioConvert_InTurn)
    ->Iterations(bench::CountFromEnv("QUOVO_ENGINE_PAIRS", 10))
    ->Repetitions(1) // the pairs are the repetitions
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
