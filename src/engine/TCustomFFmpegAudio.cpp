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

TAudioOutputState& TCustomFFmpeg::AudioState(TOutputStream& ost, const TInputStream& ist) {
    if (!ost.audio) {
        const AVCodecContext& enc = *ost.codec->ctx;
        ost.audio = std::make_unique<TAudioOutputState>(
            enc, enc.sample_rate != ist.st->codecpar->sample_rate || opt_.audioSyncMethod > 1);
    }
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
            size = in.Interleave(frame);
            samples = in.decoded.data();
            format = in.format;
            if (opt_.audioVolume != 256) {
                size =
                    in.ApplyVolume(opt_.audioVolume, channels, frame.nb_samples, samples, format);
            }
            planes = &samples;
        }
        const int rate = frame.sample_rate;

        RateEmulationWait(ist);
        // The sound of an input sought to its start begins exactly there: of the frame that
        // crosses it, only the part after it is kept.
        std::vector<const uint8_t*>& cut = in.cutPlanes;
        if (ist.pts < 0 && ist.next_pts > 0 && SoughtInput(ist)) {
            const int skip = static_cast<int>(
                std::min<int64_t>(frame.nb_samples, (-ist.pts * rate + AV_TIME_BASE / 2) /
                                                        AV_TIME_BASE));
            const bool planar = av_sample_fmt_is_planar(format);
            const int planeCount = planar ? channels : 1;
            const int step = av_get_bytes_per_sample(format) * (planar ? 1 : channels);
            cut.assign(planes, planes + planeCount);
            for (const uint8_t*& plane : cut) {
                plane += static_cast<ptrdiff_t>(skip) * step;
            }
            planes = cut.data();
            size -= skip * av_get_bytes_per_sample(format) * channels;
            ist.pts = 0;
        }
        // Likewise it ends exactly at the output's end.
        const int64_t end = InputEndUs(ist);
        const int sampleBytes = av_get_bytes_per_sample(format) * channels;
        if (end != UnlimitedTime && ist.next_pts > end) {
            // Counted from the start point in samples when there is one, so that the sound
            // holds exactly as many as its length does (DV muxes whole pictures' worth only).
            const int64_t keep =
                SoughtInput(ist)
                    ? std::llround(static_cast<double>(end) * rate / AV_TIME_BASE) - in.keptSamples
                    : (end - ist.pts) * rate / AV_TIME_BASE;
            size = static_cast<int>(
                std::min<int64_t>(size, std::max<int64_t>(0, keep) * sampleBytes));
        }
        if (!ReachedStartTime(ist) || size <= 0) {
            av_frame_unref(&frame);
            continue;
        }
        in.keptSamples += size / sampleBytes;
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
        a.PlanBuffers(*enc, chunk, planned);
        if (a.ResamplerDue(*enc, chunk) && chunk.format != AV_SAMPLE_FMT_S16 && opt_.verbose > 0) {
            // The old resampler went through s16; the line stays in the log vocabulary for the
            // same cases although the resampler now keeps float precision.
            Log(llVerbose, "Warning, using s16 intermediate sample format for resampling");
        }
        a.MakeConverters(*enc, chunk, opt_.audioSyncMethod > 1);
        const TAudioSyncStep step = SyncAudio(ost, ist, chunk, planned);
        if (step == TAudioSyncStep::Dropped) {
            return;
        }
        if (step == TAudioSyncStep::Go) {
            break;
        }
    }
    const uint8_t* const* data = nullptr;
    const int samples = a.ToEncoderFormat(*enc, chunk, data);
    if (samples < 0) {
        if (opt_.exitOnError) {
            throw FFmpegException("av_audio_convert() failed");
        }
        Log(llError, "av_audio_convert() failed");
        return;
    }
    if (samples > 0) {
        QueueAudio(ost, data, samples);
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
            AVFrame* frame = a.EncodeFrame(*enc, frameSize);
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
    AVFrame* frame = a.EncodeFrame(*enc, samples);
    av_samples_copy(frame->extended_data, const_cast<uint8_t* const*>(data), 0, 0, samples,
                    encChannels, enc->sample_fmt);
    frame->pts = start;
    EncodeAudioFrame(ost, frame);
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
        AVFrame* frame = a.EncodeFrame(*enc, n);
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
