// Picture conversion: the engine turning a 30 s 720x576 MPEG-2 + MP2 clip (a DVD title's shape)
// into MPEG-4 320x240 + MP3 in AVI on one thread, beside the smallest decode -> scale -> encode ->
// mux loop the libraries allow with the same settings. Decoding, scaling and encoding dominate;
// the engine's synchronisation, crop/scale set-up and bookkeeping should stay within a few
// percent of the direct loop. The peak-memory counters compare a 30 s and a 120 s input: they
// should be flat (nothing grows with the length of the input).
#include "BenchSupport.h"
#include "Fixtures.h"
#include "TCustomFFmpeg.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

extern "C" {
#include <libavutil/audio_fifo.h>
}

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <string>

using namespace quovo;
using bench::Check;

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int64_t kVideoBitRate = 800000;
constexpr int64_t kAudioBitRate = 128000;

std::string OutputPath() {
    return fixtures::FixtureDir() + "/bench-mpeg4-mp3.avi";
}

// Peak resident memory since the last reset, in MiB (Linux).
void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double PeakMemoryMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

struct Coder {
    AVStream* in = nullptr;
    AVStream* out = nullptr;
    AvCodecContextPtr dec;
    AvCodecContextPtr enc;
};

AvCodecContextPtr OpenDecoder(const AVStream* st) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    AvCodecContextPtr dec(avcodec_alloc_context3(codec));
    Check(avcodec_parameters_to_context(dec.get(), st->codecpar), "decoder parameters");
    dec->thread_count = 1;
    dec->pkt_timebase = st->time_base;
    Check(avcodec_open2(dec.get(), codec, nullptr), "open decoder");
    return dec;
}

// The reference: decode, scale (bicubic) or regroup the sound into encoder frames, encode, mux.
void DirectConvert(const std::string& in, const std::string& out) {
    auto [ic, oc] = bench::OpenDirect(in, out);

    Coder video, audio;
    video.in = ic->streams[av_find_best_stream(ic.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)];
    audio.in = ic->streams[av_find_best_stream(ic.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)];
    video.dec = OpenDecoder(video.in);
    audio.dec = OpenDecoder(audio.in);

    const AVCodec* mpeg4 = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    video.enc.reset(avcodec_alloc_context3(mpeg4));
    AVCodecContext& ve = *video.enc;
    ve.width = kWidth;
    ve.height = kHeight;
    ve.pix_fmt = AV_PIX_FMT_YUV420P;
    ve.time_base = av_inv_q(video.in->r_frame_rate);
    ve.framerate = video.in->r_frame_rate;
    ve.bit_rate = kVideoBitRate;
    ve.thread_count = 1;
    Check(avcodec_open2(&ve, mpeg4, nullptr), "open mpeg4");
    video.out = avformat_new_stream(oc.get(), nullptr);
    Check(avcodec_parameters_from_context(video.out->codecpar, &ve), "video parameters");
    video.out->time_base = ve.time_base;

    const AVCodec* lame = avcodec_find_encoder_by_name("libmp3lame");
    audio.enc.reset(avcodec_alloc_context3(lame));
    AVCodecContext& ae = *audio.enc;
    ae.sample_rate = audio.dec->sample_rate;
    Check(av_channel_layout_copy(&ae.ch_layout, &audio.dec->ch_layout), "layout");
    ae.sample_fmt = audio.dec->sample_fmt; // libmp3lame takes the MP2 decoder's planar floats
    ae.bit_rate = kAudioBitRate;
    ae.time_base = {1, ae.sample_rate};
    ae.thread_count = 1;
    Check(avcodec_open2(&ae, lame, nullptr), "open libmp3lame");
    audio.out = avformat_new_stream(oc.get(), nullptr);
    Check(avcodec_parameters_from_context(audio.out->codecpar, &ae), "audio parameters");
    audio.out->time_base = ae.time_base;

    Check(avio_open(&oc->pb, out.c_str(), AVIO_FLAG_WRITE), "open output");
    Check(avformat_write_header(oc.get(), nullptr), "header");

    SwsContextPtr sws(sws_getContext(video.dec->width, video.dec->height, video.dec->pix_fmt,
                                     kWidth, kHeight, ve.pix_fmt, SWS_BICUBIC, nullptr, nullptr,
                                     nullptr));
    AvFramePtr picture = MakeFrame();
    picture->format = ve.pix_fmt;
    picture->width = kWidth;
    picture->height = kHeight;
    Check(av_frame_get_buffer(picture.get(), 0), "picture");
    AvAudioFifoPtr fifo(av_audio_fifo_alloc(ae.sample_fmt, ae.ch_layout.nb_channels, 8192));
    AvFramePtr sound = MakeFrame();
    AvFramePtr frame = MakeFrame();
    AvPacketPtr pkt = MakePacket();
    AvPacketPtr opkt = MakePacket();
    int64_t pictures = 0;
    int64_t samples = 0;

    auto write = [&](Coder& c, AVFrame* f) {
        Check(avcodec_send_frame(c.enc.get(), f), "encode");
        while (avcodec_receive_packet(c.enc.get(), opkt.get()) >= 0) {
            opkt->stream_index = c.out->index;
            av_packet_rescale_ts(opkt.get(), c.enc->time_base, c.out->time_base);
            Check(av_interleaved_write_frame(oc.get(), opkt.get()), "write");
        }
    };
    auto encodeSound = [&](bool last) {
        while (av_audio_fifo_size(fifo.get()) >= ae.frame_size ||
               (last && av_audio_fifo_size(fifo.get()) > 0)) {
            av_frame_unref(sound.get());
            sound->format = ae.sample_fmt;
            sound->nb_samples = ae.frame_size;
            sound->sample_rate = ae.sample_rate;
            av_channel_layout_copy(&sound->ch_layout, &ae.ch_layout);
            Check(av_frame_get_buffer(sound.get(), 0), "sound");
            const int n = av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(sound->data),
                                             ae.frame_size);
            if (n < ae.frame_size) {
                av_samples_set_silence(sound->data, n, ae.frame_size - n, ae.ch_layout.nb_channels,
                                       ae.sample_fmt);
            }
            sound->pts = samples;
            samples += ae.frame_size;
            write(audio, sound.get());
        }
    };
    auto decoded = [&](Coder& c) {
        while (avcodec_receive_frame(c.dec.get(), frame.get()) >= 0) {
            if (&c == &video) {
                Check(av_frame_make_writable(picture.get()), "writable");
                sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, picture->data,
                          picture->linesize);
                picture->pts = pictures++;
                write(video, picture.get());
            } else {
                av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(frame->extended_data),
                                    frame->nb_samples);
                encodeSound(false);
            }
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(ic.get(), pkt.get()) >= 0) {
        Coder* c = pkt->stream_index == video.in->index   ? &video
                   : pkt->stream_index == audio.in->index ? &audio
                                                          : nullptr;
        if (c && avcodec_send_packet(c->dec.get(), pkt.get()) >= 0) {
            decoded(*c);
        }
        av_packet_unref(pkt.get());
    }
    for (Coder* c : {&video, &audio}) {
        avcodec_send_packet(c->dec.get(), nullptr);
        decoded(*c);
    }
    encodeSound(true);
    write(video, nullptr);
    write(audio, nullptr);
    Check(av_write_trailer(oc.get()), "trailer");
    avio_closep(&oc->pb);
}

void EngineConvert(const std::string& in, const std::string& out) {
    bench::RunEngine(in, out,
                     {{"vcodec", "mpeg4"},
                      {"b", std::to_string(kVideoBitRate)},
                      {"s", std::to_string(kWidth) + "x" + std::to_string(kHeight)},
                      {"acodec", "libmp3lame"},
                      {"ab", std::to_string(kAudioBitRate)}});
}

void Prepare() {
    bench::QuietLibraries();
}

template <void (*Convert)(const std::string&, const std::string&)>
void Run(benchmark::State& state) {
    Prepare();
    const std::string& in = bench::DvdClip(static_cast<int>(state.range(0)));
    double peak = 0;
    for (auto _ : state) {
        ResetPeakMemory();
        Convert(in, OutputPath());
        peak = std::max(peak, PeakMemoryMiB());
    }
    state.counters["peak_MiB"] = peak;
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()) *
                                                        static_cast<double>(state.range(0)) * 25,
                                                    benchmark::Counter::kIsRate);
}

void BM_Picture_Engine(benchmark::State& state) {
    Run<EngineConvert>(state);
}
void BM_Picture_DirectLoop(benchmark::State& state) {
    Run<DirectConvert>(state);
}

void BM_Picture_InTurn(benchmark::State& state) {
    Prepare();
    const std::string& in = bench::DvdClip(static_cast<int>(state.range(0)));
    bench::EngineAgainstDirect(
        state, [&] { EngineConvert(in, OutputPath()); }, [&] { DirectConvert(in, OutputPath()); });
}

} // namespace

BENCHMARK(BM_Picture_Engine)->Arg(30)->Arg(120)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Picture_DirectLoop)->Arg(30)->Arg(120)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Picture_InTurn)
    ->Arg(30)
    ->Iterations(bench::CountFromEnv("QUOVO_ENGINE_PAIRS", 10))
    ->Repetitions(1) // the pairs are the repetitions
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
