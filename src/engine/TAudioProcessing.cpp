#include "TAudioProcessing.h"

#include "EngineText.h"
#include "FFmpegException.h"
#include "MyUtils.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <climits>
#include <cstring>

namespace quovo {

namespace {

std::string SampleFormatName(AVSampleFormat fmt) {
    const char* name = av_get_sample_fmt_name(fmt);
    return name ? name : "none";
}

// A converter or resampler between interleaved `in` sound and the encoder's layout.
SwrContextPtr MakeSwr(const AVChannelLayout& outLayout, AVSampleFormat outFmt, int outRate,
                      int inChannels, AVSampleFormat inFmt, int inRate, bool resample,
                      bool stretch = false) {
    SwrContext* raw = swr_alloc();
    if (!raw) {
        return nullptr;
    }
    SwrContextPtr swr(raw);
    AVChannelLayout inLayout{};
    av_channel_layout_default(&inLayout, inChannels);
    bool ok = av_opt_set_chlayout(raw, "in_chlayout", &inLayout, 0) >= 0 &&
              av_opt_set_chlayout(raw, "out_chlayout", &outLayout, 0) >= 0 &&
              av_opt_set_int(raw, "in_sample_rate", inRate, 0) >= 0 &&
              av_opt_set_int(raw, "out_sample_rate", outRate, 0) >= 0 &&
              av_opt_set_sample_fmt(raw, "in_sample_fmt", inFmt, 0) >= 0 &&
              av_opt_set_sample_fmt(raw, "out_sample_fmt", outFmt, 0) >= 0;
    av_channel_layout_uninit(&inLayout);
    if (ok && resample) {
        // The resampler's filter: 16 taps, 2^10 phases, no interpolation between phases, cutoff
        // at 0.8 of the lower Nyquist rate. It computes in float: a 16-bit intermediate would add
        // a noise floor that costs the encoders (AAC) most of their time on clean sound.
        ok = av_opt_set_int(raw, "filter_size", 16, 0) >= 0 &&
             av_opt_set_int(raw, "phase_shift", 10, 0) >= 0 &&
             av_opt_set_int(raw, "linear_interp", 0, 0) >= 0 &&
             av_opt_set_double(raw, "cutoff", 0.8, 0) >= 0 &&
             (!stretch || av_opt_set_int(raw, "flags", SWR_FLAG_RESAMPLE, 0) >= 0);
    }
    if (!ok || swr_init(raw) < 0) {
        return nullptr;
    }
    return swr;
}

std::string ResampleFailure(const TAudioChunk& in, const AVCodecContext& enc) {
    return StringPrintf("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", in.channels,
                        in.rate, enc.ch_layout.nb_channels, enc.sample_rate);
}

} // namespace

// --- decoding side

int TAudioInputState::Interleave(const AVFrame& frame) {
    std::vector<uint8_t>& out = decoded;
    const auto fmt = static_cast<AVSampleFormat>(frame.format);
    const int channels = frame.ch_layout.nb_channels;
    const int size = av_get_bytes_per_sample(fmt);
    const int bytes = frame.nb_samples * channels * size;
    if (out.size() < static_cast<size_t>(bytes)) {
        out.resize(bytes);
    }
    if (!av_sample_fmt_is_planar(fmt) || channels == 1) {
        std::memcpy(out.data(), frame.extended_data[0], bytes);
        return bytes;
    }
    const int stride = channels * size;
    for (int ch = 0; ch < channels; ++ch) {
        const uint8_t* src = frame.extended_data[ch];
        uint8_t* dst = out.data() + ch * size;
        switch (size) {
        case 2:
            for (int i = 0; i < frame.nb_samples; ++i, dst += stride) {
                std::memcpy(dst, src + 2 * i, 2);
            }
            break;
        case 4:
            for (int i = 0; i < frame.nb_samples; ++i, dst += stride) {
                std::memcpy(dst, src + 4 * i, 4);
            }
            break;
        default:
            for (int i = 0; i < frame.nb_samples; ++i, dst += stride) {
                std::memcpy(dst, src + size * i, size);
            }
            break;
        }
    }
    return bytes;
}

int TAudioInputState::ApplyVolume(int volume, int channels, int samples, const uint8_t*& data,
                                  AVSampleFormat& format) {
    const int count = samples * channels;
    int16_t* s = reinterpret_cast<int16_t*>(decoded.data()); // s16 is changed in place
    if (format != AV_SAMPLE_FMT_S16) {
        const std::string failed =
            StringPrintf("Cannot convert %s sample format to s16 sample format",
                         SampleFormatName(format).c_str());
        if (!toS16 || toS16From != format || toS16Channels != channels) {
            AVChannelLayout layout{};
            av_channel_layout_default(&layout, channels);
            // Same rate on both sides: conversion only, with the library's rounding and clipping.
            toS16 = MakeSwr(layout, AV_SAMPLE_FMT_S16, 48000, channels, format, 48000, false);
            av_channel_layout_uninit(&layout);
            if (!toS16) {
                throw FFmpegException(failed);
            }
            toS16From = format;
            toS16Channels = channels;
        }
        if (s16.size() < static_cast<size_t>(count) * 2) {
            s16.resize(static_cast<size_t>(count) * 2);
        }
        uint8_t* out[1] = {s16.data()};
        const uint8_t* src[1] = {data};
        if (swr_convert(toS16.get(), out, samples, src, samples) != samples) {
            throw FFmpegException(failed);
        }
        s = reinterpret_cast<int16_t*>(s16.data());
        format = AV_SAMPLE_FMT_S16;
    }
    for (int i = 0; i < count; ++i) {
        const int v = (s[i] * volume + 128) >> 8;
        s[i] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
    }
    data = reinterpret_cast<const uint8_t*>(s);
    return count * 2;
}

// --- encoding side

TAudioOutputState::TAudioOutputState(const AVCodecContext& enc, bool resampling)
    : resample(resampling), work(MakeFrame()), encodeFrame(MakeFrame()), packet(MakePacket()) {
    const int channels = std::max(1, enc.ch_layout.nb_channels);
    const int sampleBytes = std::max(1, av_get_bytes_per_sample(enc.sample_fmt)) * channels;
    fifo.reset(av_audio_fifo_alloc(enc.sample_fmt, channels, std::max(1, 1024 / sampleBytes)));
    if (!fifo) {
        throw FFmpegException("av_fifo_alloc fail");
    }
}

void TAudioOutputState::PlanBuffers(const AVCodecContext& enc, const TAudioChunk& in,
                                    int64_t planned) {
    const int osize = av_get_bytes_per_sample(enc.sample_fmt);
    const int isize = av_get_bytes_per_sample(in.format);
    const int encChannels = enc.ch_layout.nb_channels;
    const int bps = av_get_bits_per_sample(enc.codec_id);
    const int frameSize = enc.frame_size;
    // Room for the resampled sound with margin, and for its encoded form.
    int64_t b = (planned + isize * in.channels - 1) / (isize * in.channels);
    b = (b * enc.sample_rate + in.rate) / in.rate;
    b = 2 * b + 10000;
    b = std::max<int64_t>(b, frameSize);
    b *= osize * encChannels;
    int64_t o = std::max<int64_t>(b, static_cast<int64_t>(frameSize) * osize * encChannels);
    if (bps > 8 * osize) {
        o = o * bps / (8 * osize);
    }
    o += 16384;
    if (o > INT_MAX || b > INT_MAX) {
        throw FFmpegException("Buffer sizes too large in do_audio_out");
    }
    GrowWork(enc, b);
    outputBytes = std::max(outputBytes, o);
}

void TAudioOutputState::GrowWork(const AVCodecContext& enc, int64_t bytes) {
    if (bytes <= workBytes) {
        return;
    }
    const int perSample = av_get_bytes_per_sample(enc.sample_fmt) * enc.ch_layout.nb_channels;
    AvFramePtr grown = MakeFrame();
    if (!grown) {
        throw FFmpegException("Out of memory in do_audio_out");
    }
    grown->format = enc.sample_fmt;
    grown->nb_samples = static_cast<int>(bytes / perSample);
    if (av_channel_layout_copy(&grown->ch_layout, &enc.ch_layout) < 0 ||
        av_frame_get_buffer(grown.get(), 0) < 0) {
        throw FFmpegException("Out of memory in do_audio_out");
    }
    work = std::move(grown);
    workBytes = bytes;
}

bool TAudioOutputState::ResamplerDue(const AVCodecContext& enc, const TAudioChunk& in) {
    // The resampler is made for the sound that arrives; a change of input (a damaged or
    // switching stream) makes a new one.
    if (enc.ch_layout.nb_channels != in.channels) {
        resample = true;
    }
    if (resample && resampler &&
        (resamplerFrom != in.format || resamplerChannels != in.channels ||
         resamplerRate != in.rate)) {
        resampler.reset();
    }
    return resample && !resampler;
}

void TAudioOutputState::MakeConverters(const AVCodecContext& enc, const TAudioChunk& in,
                                       bool stretch) {
    if (ResamplerDue(enc, in)) {
        resampler = MakeSwr(enc.ch_layout, enc.sample_fmt, enc.sample_rate, in.channels, in.format,
                            in.rate, true, stretch);
        if (!resampler) {
            throw FFmpegException(ResampleFailure(in, enc));
        }
        resamplerFrom = in.format;
        resamplerChannels = in.channels;
        resamplerRate = in.rate;
    }
    if (!resample && in.format != enc.sample_fmt &&
        (convFrom != in.format || convTo != enc.sample_fmt)) {
        converter.reset();
        converter = MakeSwr(enc.ch_layout, enc.sample_fmt, enc.sample_rate, in.channels, in.format,
                            enc.sample_rate, false);
        if (!converter) {
            throw FFmpegException(StringPrintf(
                "Cannot convert %s sample format to %s sample format",
                SampleFormatName(in.format).c_str(), SampleFormatName(enc.sample_fmt).c_str()));
        }
        convFrom = in.format;
        convTo = enc.sample_fmt;
    }
}

int TAudioOutputState::ToEncoderFormat(const AVCodecContext& enc, const TAudioChunk& in,
                                       const uint8_t* const*& data) {
    const int inSamples = in.size / (in.channels * av_get_bytes_per_sample(in.format));
    const uint8_t** input =
        const_cast<const uint8_t**>(av_sample_fmt_is_planar(in.format) ? in.planes : &in.buf);
    const int capacity = work->nb_samples;
    data = work->extended_data;
    if (resample) {
        const int samples =
            swr_convert(resampler.get(), work->extended_data, capacity, input, inSamples);
        if (samples < 0) {
            throw FFmpegException(FormatErrorText(ResampleFailure(in, enc), samples));
        }
        return samples;
    }
    if (in.format != enc.sample_fmt) {
        const int samples =
            swr_convert(converter.get(), work->extended_data, capacity, input, inSamples);
        return samples < 0 ? -1 : samples;
    }
    data = input;
    return inSamples;
}

AVFrame* TAudioOutputState::EncodeFrame(const AVCodecContext& enc, int samples) {
    AVFrame* f = encodeFrame.get();
    // The encoder may still hold a reference to the last buffer: then a new one is made.
    if (!f->buf[0] || encodeCapacity < samples || !av_frame_is_writable(f)) {
        av_frame_unref(f);
        f->format = enc.sample_fmt;
        f->sample_rate = enc.sample_rate;
        f->nb_samples = std::max(samples, enc.frame_size);
        if (av_channel_layout_copy(&f->ch_layout, &enc.ch_layout) < 0 ||
            av_frame_get_buffer(f, 0) < 0) {
            throw FFmpegException("Out of memory in do_audio_out");
        }
        encodeCapacity = f->nb_samples;
    }
    f->nb_samples = samples;
    return f;
}

} // namespace quovo
