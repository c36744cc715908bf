// Sound processing: decoding, volume, resampling, synchronisation and encoding.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"
#include "TAudioProcessing.h"
#include "TFFmpegLoader.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace quovo {

namespace {

// Interleaves a decoded frame into `out` (packed copy of a planar frame, or a plain copy).
// Returns the byte count.
int InterleaveFrame(const AVFrame& frame, std::vector<uint8_t>& out) {
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

} // namespace

TAudioOutputState& TCustomFFmpeg::AudioState(TOutputStream& ost, const TInputStream& ist) {
    if (ost.audio) {
        return *ost.audio;
    }
    AVCodecContext* enc = ost.codec->ctx.get();
    auto a = std::make_unique<TAudioOutputState>();
    const int channels = std::max(1, enc->ch_layout.nb_channels);
    const int sampleBytes = std::max(1, av_get_bytes_per_sample(enc->sample_fmt)) * channels;
    a->fifo.reset(av_audio_fifo_alloc(enc->sample_fmt, channels, std::max(1, 1024 / sampleBytes)));
    if (!a->fifo) {
        throw FFmpegException("av_fifo_alloc fail");
    }
    a->resample = enc->sample_rate != ist.st->codecpar->sample_rate || opt_.audioSyncMethod > 1;
    a->encodeFrame = MakeFrame();
    a->work = MakeFrame();
    a->packet = MakePacket();
    ost.audio = std::move(a);
    return *ost.audio;
}

void TCustomFFmpeg::SetupAudioEncoding(TOutputStream& ost, TInputStream& ist) {
    AVCodecContext* enc = ost.codec->ctx.get();
    if (enc->sample_rate > 0) {
        enc->time_base = AVRational{1, enc->sample_rate};
    }
    ost.audio.reset();
    AudioState(ost, ist);
}

int TCustomFFmpeg::DecodeAudio(TInputStream& ist, AVPacket* pkt) {
    if (!ist.audio) {
        ist.audio = std::make_unique<TAudioInputState>();
        ist.audio->frame = MakeFrame();
        ist.audio->decoded.reserve(192000);
    }
    TAudioInputState& in = *ist.audio;
    AVCodecContext* dec = ist.dec.get();

    ist.pts = ist.next_pts;
    int err = avcodec_send_packet(dec, pkt);
    if (err == AVERROR_EOF && !pkt) {
        err = 0; // already drained (join mode)
    }
    if (err < 0) {
        ist.lastDecodeError = err;
        return -1;
    }

    // Copies of the same stream take the packet as it came.
    CopyToStreamCopies(ist, pkt);

    int frames = 0;
    for (;;) {
        err = avcodec_receive_frame(dec, in.frame.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) {
            break;
        }
        if (err < 0) {
            ist.lastDecodeError = err;
            return -1;
        }
        AVFrame& frame = *in.frame;
        ist.pts = ist.next_pts;
        if (frames++ > 0 && pkt &&
            (opt_.verbose > 1 || (opt_.verbose > 0 && !ist.showed_multi_packet_warning))) {
            LogFmt(llError, "Multiple frames in a packet from stream %d", pkt->stream_index);
            ist.showed_multi_packet_warning = true;
        }
        const int channels = frame.ch_layout.nb_channels;
        if (channels <= 0 || frame.sample_rate <= 0 || frame.nb_samples <= 0) {
            av_frame_unref(&frame);
            continue;
        }
        const auto decodedFmt = static_cast<AVSampleFormat>(frame.format);
        const int isize = av_get_bytes_per_sample(decodedFmt);
        int size = frame.nb_samples * channels * isize;
        ist.next_pts += static_cast<int64_t>(1000000 / isize) * size /
                        (static_cast<int64_t>(frame.sample_rate) * channels);

        // Volume and synchronisation work on interleaved bytes; without them the decoder's
        // planes go to the resampler or the FIFO as they are.
        const uint8_t* const* planes = frame.extended_data;
        AVSampleFormat format = decodedFmt;
        const uint8_t* samples = nullptr;
        if (opt_.audioVolume != 256 || opt_.audioSyncMethod != 0 ||
            !av_sample_fmt_is_planar(decodedFmt)) {
            in.format = av_get_packed_sample_fmt(decodedFmt);
            size = InterleaveFrame(frame, in.decoded);
            samples = in.decoded.data();
            format = in.format;
            if (opt_.audioVolume != 256) {
                size = ApplyVolume(in, channels, frame.nb_samples, samples, format);
            }
            planes = &samples;
        }
        const int rate = frame.sample_rate;

        RateEmulationWait(ist);
        if (!ReachedStartTime(ist)) {
            av_frame_unref(&frame);
            continue;
        }
        in.keepFirstMark = false;
        for (TOutputStream* ost : OutputsOf(ist)) {
            if (ost->active && ost->encoding_needed) {
                AudioOutput(*ost, ist, planes, size, format, channels, rate);
            }
        }
        av_frame_unref(&frame);
        if (!in.keepFirstMark) {
            ist.is_start = false;
        }
    }

    if (!pkt) {
        EndAudioInput(ist);
    }
    return 0;
}

void TCustomFFmpeg::EndAudioInput(TInputStream& ist) {
    for (TOutputStream* ost : OutputsOf(ist)) {
        if (!ost->active || !ost->encoding_needed) {
            continue;
        }
        DrainAudioEncoder(*ost);
        // Joined inputs go on into the same stream with a fresh encoder.
        if (joined_ && ist.file_index + 1 < InputFileCount()) {
            ReopenAudioEncoder(*ost);
        }
    }
}

int TCustomFFmpeg::ApplyVolume(TAudioInputState& in, int channels, int samples,
                               const uint8_t*& data, AVSampleFormat& format) {
    const int count = samples * channels;
    int16_t* s = reinterpret_cast<int16_t*>(in.decoded.data()); // s16 is changed in place
    if (format != AV_SAMPLE_FMT_S16) {
        const std::string failed =
            StringPrintf("Cannot convert %s sample format to s16 sample format",
                         SampleFormatName(format).c_str());
        if (!in.toS16 || in.toS16From != format || in.toS16Channels != channels) {
            AVChannelLayout layout{};
            av_channel_layout_default(&layout, channels);
            // Same rate on both sides: conversion only, with the library's rounding and clipping.
            in.toS16 = MakeSwr(layout, AV_SAMPLE_FMT_S16, 48000, channels, format, 48000, false);
            av_channel_layout_uninit(&layout);
            if (!in.toS16) {
                throw FFmpegException(failed);
            }
            in.toS16From = format;
            in.toS16Channels = channels;
        }
        if (in.s16.size() < static_cast<size_t>(count) * 2) {
            in.s16.resize(static_cast<size_t>(count) * 2);
        }
        uint8_t* out[1] = {in.s16.data()};
        const uint8_t* src[1] = {data};
        if (swr_convert(in.toS16.get(), out, samples, src, samples) != samples) {
            throw FFmpegException(failed);
        }
        s = reinterpret_cast<int16_t*>(in.s16.data());
        format = AV_SAMPLE_FMT_S16;
    }
    const int volume = opt_.audioVolume;
    for (int i = 0; i < count; ++i) {
        const int v = (s[i] * volume + 128) >> 8;
        s[i] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
    }
    data = reinterpret_cast<const uint8_t*>(s);
    return count * 2;
}

void TCustomFFmpeg::AudioOutput(TOutputStream& ost, TInputStream& ist, const uint8_t* const* planes,
                                int size, AVSampleFormat inFmt, int decChannels, int decRate) {
    TAudioOutputState& a = AudioState(ost, ist);
    const AVCodecContext* enc = ost.codec->ctx.get();
    if (av_get_bytes_per_sample(enc->sample_fmt) <= 0 || av_get_bytes_per_sample(inFmt) <= 0 ||
        enc->ch_layout.nb_channels <= 0 || enc->sample_rate <= 0) {
        throw FFmpegException("Audio encoding failed");
    }
    // Interleaved sound (always so when synchronising) is one buffer that padding and trimming
    // may replace; planar sound goes on as the decoder's planes.
    TAudioChunk chunk{planes, planes[0], size, inFmt, decChannels, decRate};
    int64_t planned = size;
    for (;;) {
        PlanAudioBuffers(a, *enc, chunk, planned);
        MakeAudioConverter(a, *enc, chunk);
        const TAudioSyncStep step = SyncAudio(ost, ist, chunk, planned);
        if (step == TAudioSyncStep::Dropped) {
            return;
        }
        if (step == TAudioSyncStep::Go) {
            break;
        }
    }
    const uint8_t* const* data = nullptr;
    const int samples = ToEncoderFormat(a, *enc, chunk, data);
    if (samples > 0) {
        QueueAudio(ost, data, samples);
    }
}

void TCustomFFmpeg::PlanAudioBuffers(TAudioOutputState& a, const AVCodecContext& encoder,
                                     const TAudioChunk& in, int64_t planned) {
    const AVCodecContext* enc = &encoder;
    const int osize = av_get_bytes_per_sample(enc->sample_fmt);
    const int isize = av_get_bytes_per_sample(in.format);
    const int encChannels = enc->ch_layout.nb_channels;
    const int bps = av_get_bits_per_sample(enc->codec_id);
    const int frameSize = enc->frame_size;
    // Room for the resampled sound with margin, and for its encoded form.
    int64_t b = (planned + isize * in.channels - 1) / (isize * in.channels);
    b = (b * enc->sample_rate + in.rate) / in.rate;
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
    GrowAudioWork(a, enc, b);
    a.outputBytes = std::max(a.outputBytes, o);
}

void TCustomFFmpeg::MakeAudioConverter(TAudioOutputState& a, const AVCodecContext& encoder,
                                       const TAudioChunk& in) {
    const AVCodecContext* enc = &encoder;
    const AVSampleFormat encFmt = enc->sample_fmt;
    const int encChannels = enc->ch_layout.nb_channels;
    const int encRate = enc->sample_rate;
    // The resampler is made for the sound that arrives; a change of input (a damaged or
    // switching stream) makes a new one.
    if (encChannels != in.channels) {
        a.resample = true;
    }
    if (a.resample && a.resampler &&
        (a.resamplerFrom != in.format || a.resamplerChannels != in.channels ||
         a.resamplerRate != in.rate)) {
        a.resampler.reset();
    }
    if (a.resample && !a.resampler) {
        // The old resampler went through s16; the line stays in the log vocabulary for the same
        // cases although the resampler now keeps float precision.
        if (in.format != AV_SAMPLE_FMT_S16 && opt_.verbose > 0) {
            Log(llVerbose, "Warning, using s16 intermediate sample format for resampling");
        }
        a.resampler = MakeSwr(enc->ch_layout, encFmt, encRate, in.channels, in.format, in.rate,
                              true, opt_.audioSyncMethod > 1);
        if (!a.resampler) {
            throw FFmpegException(
                StringPrintf("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                             in.channels, in.rate, encChannels, encRate));
        }
        a.resamplerFrom = in.format;
        a.resamplerChannels = in.channels;
        a.resamplerRate = in.rate;
    }
    if (!a.resample && in.format != encFmt && (a.convFrom != in.format || a.convTo != encFmt)) {
        a.converter.reset();
        a.converter =
            MakeSwr(enc->ch_layout, encFmt, encRate, in.channels, in.format, encRate, false);
        if (!a.converter) {
            throw FFmpegException(StringPrintf("Cannot convert %s sample format to %s sample "
                                               "format",
                                               SampleFormatName(in.format).c_str(),
                                               SampleFormatName(encFmt).c_str()));
        }
        a.convFrom = in.format;
        a.convTo = encFmt;
    }
}

TCustomFFmpeg::TAudioSyncStep TCustomFFmpeg::SyncAudio(TOutputStream& ost, TInputStream& ist,
                                                       TAudioChunk& in, int64_t& planned) {
    TAudioOutputState& a = *ost.audio;
    const int encRate = ost.codec->ctx->sample_rate;
    const int isize = av_get_bytes_per_sample(in.format);
    // How many samples the sound is behind (positive) or ahead (negative) of where the sync
    // stream's timestamps say it should be.
    const TInputStream& sync = *ist_[ost.sync_ist >= 0 ? ost.sync_ist : ost.source_index];
    const double syncSeconds = static_cast<double>(sync.pts - opt_.startTime) / AV_TIME_BASE;
    const int64_t queued = av_audio_fifo_size(a.fifo.get());
    if (opt_.audioSyncMethod == 0) {
        ost.sync_opts = llrint(syncSeconds * encRate) - queued;
        return TAudioSyncStep::Go;
    }
    const double d =
        syncSeconds * encRate - static_cast<double>(ost.sync_opts) - static_cast<double>(queued);
    const double id = d * in.rate / encRate;
    int64_t byteDelta = static_cast<int64_t>(id) * isize * in.channels;
    if (std::fabs(d) <= 50) {
        return TAudioSyncStep::Go;
    }
    if (ist.is_start || std::fabs(d) > opt_.audioDriftThreshold * encRate) {
        if (byteDelta < 0) {
            byteDelta = std::max<int64_t>(byteDelta, -in.size);
            in.buf += -byteDelta;
            in.size += static_cast<int>(byteDelta);
            if (opt_.verbose > 2) {
                LogFmt(llVerbose, "discarding %d audio samples", static_cast<int>(-d));
            }
            if (in.size <= 0) {
                ist.audio->keepFirstMark = true;
                return TAudioSyncStep::Dropped;
            }
            ist.is_start = false;
            return TAudioSyncStep::Go;
        }
        if (byteDelta > planned - in.size) {
            planned = byteDelta + in.size;
            return TAudioSyncStep::Replan; // the buffers again for the longer sound
        }
        ist.is_start = false;
        if (a.silence.size() < static_cast<size_t>(byteDelta + in.size)) {
            a.silence.resize(byteDelta + in.size);
        }
        uint8_t* planes[1] = {a.silence.data()};
        av_samples_set_silence(planes, 0, static_cast<int>(byteDelta / (isize * in.channels)),
                               in.channels, in.format);
        std::memcpy(a.silence.data() + byteDelta, in.buf, in.size);
        in.buf = a.silence.data();
        in.size += static_cast<int>(byteDelta);
        if (opt_.verbose > 2) {
            LogFmt(llVerbose, "adding %d audio samples of silence", static_cast<int>(d));
        }
    } else if (opt_.audioSyncMethod > 1) {
        const int c = std::clamp(static_cast<int>(d), -opt_.audioSyncMethod, opt_.audioSyncMethod);
        if (opt_.verbose > 2) {
            LogFmt(llVerbose, "compensating audio timestamp drift:%f compensation:%d in:%d", d, c,
                   encRate);
        }
        if (a.resampler) {
            swr_set_compensation(a.resampler.get(), c, encRate);
        }
    }
    return TAudioSyncStep::Go;
}

int TCustomFFmpeg::ToEncoderFormat(TAudioOutputState& a, const AVCodecContext& encoder,
                                   const TAudioChunk& in, const uint8_t* const*& data) {
    const AVCodecContext* enc = &encoder;
    const int inSamples = in.size / (in.channels * av_get_bytes_per_sample(in.format));
    const uint8_t** input =
        const_cast<const uint8_t**>(av_sample_fmt_is_planar(in.format) ? in.planes : &in.buf);
    const int capacity = a.work->nb_samples;
    data = a.work->extended_data;
    if (a.resample) {
        const int samples =
            swr_convert(a.resampler.get(), a.work->extended_data, capacity, input, inSamples);
        if (samples < 0) {
            throw FFmpegException(FormatErrorText(
                StringPrintf("Can not resample %d channels @ %d Hz to %d "
                             "channels @ %d Hz",
                             in.channels, in.rate, enc->ch_layout.nb_channels, enc->sample_rate),
                samples));
        }
        return samples;
    }
    if (in.format != enc->sample_fmt) {
        const int samples =
            swr_convert(a.converter.get(), a.work->extended_data, capacity, input, inSamples);
        if (samples < 0) {
            if (opt_.exitOnError) {
                throw FFmpegException("av_audio_convert() failed");
            }
            Log(llError, "av_audio_convert() failed");
            return 0;
        }
        return samples;
    }
    data = input;
    return inSamples;
}

void TCustomFFmpeg::QueueAudio(TOutputStream& ost, const uint8_t* const* data, int samples) {
    TAudioOutputState& a = *ost.audio;
    AVCodecContext* enc = ost.codec->ctx.get();
    const int frameSize = enc->frame_size;
    if (frameSize > 1) {
        if (av_audio_fifo_realloc(a.fifo.get(), av_audio_fifo_size(a.fifo.get()) + samples) < 0) {
            throw FFmpegException("av_fifo_realloc2() failed");
        }
        av_audio_fifo_write(a.fifo.get(), reinterpret_cast<void**>(const_cast<uint8_t**>(data)),
                            samples);
        while (av_audio_fifo_size(a.fifo.get()) >= frameSize) {
            AVFrame* frame = PrepareEncodeFrame(a, enc, frameSize);
            av_audio_fifo_read(a.fifo.get(), reinterpret_cast<void**>(frame->extended_data),
                               frameSize);
            frame->pts = ost.sync_opts;
            EncodeAudioFrame(ost, frame);
            ost.sync_opts += frameSize;
        }
        return;
    }

    // Sample-per-sample codecs take the whole buffer as one packet.
    const int encChannels = enc->ch_layout.nb_channels;
    const int bps = av_get_bits_per_sample(enc->codec_id);
    const int64_t start = ost.sync_opts;
    ost.sync_opts += samples;
    int64_t encodeSize = static_cast<int64_t>(samples) * encChannels;
    if (bps != 0) {
        encodeSize = encodeSize * bps / 8;
    }
    if (encodeSize > a.outputBytes) {
        throw FFmpegException("Internal error, buffer size too small");
    }
    AVFrame* frame = PrepareEncodeFrame(a, enc, samples);
    av_samples_copy(frame->extended_data, const_cast<uint8_t* const*>(data), 0, 0, samples,
                    encChannels, enc->sample_fmt);
    frame->pts = start;
    EncodeAudioFrame(ost, frame);
}
void TCustomFFmpeg::GrowAudioWork(TAudioOutputState& a, const AVCodecContext* enc, int64_t bytes) {
    if (bytes <= a.workBytes) {
        return;
    }
    const int channels = enc->ch_layout.nb_channels;
    const int perSample = av_get_bytes_per_sample(enc->sample_fmt) * channels;
    AvFramePtr work = MakeFrame();
    if (!work) {
        throw FFmpegException("Out of memory in do_audio_out");
    }
    work->format = enc->sample_fmt;
    work->nb_samples = static_cast<int>(bytes / perSample);
    if (av_channel_layout_copy(&work->ch_layout, &enc->ch_layout) < 0 ||
        av_frame_get_buffer(work.get(), 0) < 0) {
        throw FFmpegException("Out of memory in do_audio_out");
    }
    a.work = std::move(work);
    a.workBytes = bytes;
}

AVFrame* TCustomFFmpeg::PrepareEncodeFrame(TAudioOutputState& a, AVCodecContext* enc, int samples) {
    AVFrame* f = a.encodeFrame.get();
    // The encoder may still hold a reference to the last buffer: then a new one is made.
    if (!f->buf[0] || a.encodeCapacity < samples || !av_frame_is_writable(f)) {
        av_frame_unref(f);
        f->format = enc->sample_fmt;
        f->sample_rate = enc->sample_rate;
        f->nb_samples = std::max(samples, enc->frame_size);
        if (av_channel_layout_copy(&f->ch_layout, &enc->ch_layout) < 0 ||
            av_frame_get_buffer(f, 0) < 0) {
            throw FFmpegException("Out of memory in do_audio_out");
        }
        a.encodeCapacity = f->nb_samples;
    }
    f->nb_samples = samples;
    return f;
}

void TCustomFFmpeg::EncodeAudioFrame(TOutputStream& ost, AVFrame* frame) {
    AVCodecContext* enc = ost.codec->ctx.get();
    TAudioOutputState& a = *ost.audio;
    if (avcodec_send_frame(enc, frame) < 0) {
        throw FFmpegException("Audio encoding failed");
    }
    AVPacket* pkt = a.packet.get();
    for (;;) {
        const int err = avcodec_receive_packet(enc, pkt);
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) {
            return;
        }
        if (err < 0) {
            throw FFmpegException("Audio encoding failed");
        }
        audioSize_ += pkt->size;
        pkt->stream_index = ost.index;
        pkt->flags |= AV_PKT_FLAG_KEY;
        av_packet_rescale_ts(pkt, enc->time_base, ost.st->time_base);
        pkt->time_base = ost.st->time_base;
        ++ost.frame_number;
        WritePacket(ost, pkt);
        av_packet_unref(pkt);
    }
}

void TCustomFFmpeg::DrainAudioEncoder(TOutputStream& ost) {
    if (!ost.audio || ost.audio->drained) {
        return;
    }
    TAudioOutputState& a = *ost.audio;
    AVCodecContext* enc = ost.codec->ctx.get();
    const int frameSize = enc->frame_size;
    if (frameSize <= 1) {
        return; // nothing is held back
    }
    const int left = av_audio_fifo_size(a.fifo.get());
    if (left > 0) {
        int n = frameSize;
        // The last frame is padded with silence unless the encoder takes a short one; the
        // frame is made for at least a whole encoder frame, so the silence always fits.
        if (enc->codec && (enc->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
            n = left;
        }
        AVFrame* frame = PrepareEncodeFrame(a, enc, n);
        av_audio_fifo_read(a.fifo.get(), reinterpret_cast<void**>(frame->extended_data), left);
        if (n > left) {
            av_samples_set_silence(frame->extended_data, left, n - left, enc->ch_layout.nb_channels,
                                   enc->sample_fmt);
        }
        frame->pts = ost.sync_opts;
        EncodeAudioFrame(ost, frame);
        ost.sync_opts += n;
    }
    EncodeAudioFrame(ost, nullptr);
    a.drained = true;
}

void TCustomFFmpeg::FlushAudioEncoder(TOutputStream& ost) {
    DrainAudioEncoder(ost);
}

void TCustomFFmpeg::ReopenAudioEncoder(TOutputStream& ost) {
    ReopenEncoder(ost, [](AVCodecContext* c, const AVCodecContext* old) {
        c->sample_fmt = old->sample_fmt;
        c->sample_rate = old->sample_rate;
        av_channel_layout_uninit(&c->ch_layout);
        av_channel_layout_copy(&c->ch_layout, &old->ch_layout);
    });
}

} // namespace quovo
