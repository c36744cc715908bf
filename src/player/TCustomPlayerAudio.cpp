// Sound: decoding into 16-bit buffers, the SDL callback with volume and mute, the correction of
// the sound when it follows another clock, and the sound display.
#include "TCustomPlayer.h"

#include "TFFLogger.h"
#include "TPlaybackState.h"
#include "TSoundDisplay.h"

#include <SDL2/SDL.h>

extern "C" {
#include <libavutil/time.h>
}

#include <cmath>
#include <cstring>

namespace quovo {

void TCustomPlayer::AudioCallback(void* opaque, uint8_t* stream, int len) {
    auto* is = static_cast<TPlaybackState*>(opaque);
    is->player->FillAudio(*is, stream, len);
}

void TCustomPlayer::FillAudio(TPlaybackState& is, uint8_t* stream, int len) {
    const int64_t now = av_gettime_relative();
    uint8_t* const start = stream;
    const int total = len;
    if (is.videoStream && !is.pictureShown) {
        if (!is.soundGateEnd) {
            is.soundGateEnd = now + 1000000;
        }
        if (now < is.soundGateEnd) {
            std::memset(stream, 0, len);
            return;
        }
    }
    while (len > 0) {
        if (is.outIndex >= is.outSize) {
            double pts = 0;
            const int size = DecodeAudio(is, pts);
            if (is.audioQueue->Aborted()) {
                std::memset(stream, 0, len);
                break;
            }
            if (size < 0) {
                is.outBuf = is.silence.data();
                is.outSize = static_cast<int>(is.silence.size());
            } else {
                if (is.showAudio) {
                    const auto* samples = reinterpret_cast<const int16_t*>(is.decodedBuf.data());
                    int w = is.waveIndex;
                    for (int i = 0; i < size / 2; ++i) {
                        is.wave[w] = samples[i];
                        w = (w + 1) % TPlaybackState::kWaveSamples;
                    }
                    is.waveIndex = w;
                }
                is.outBuf = is.decodedBuf.data();
                is.outSize = SynchronizeAudio(is, size);
            }
            is.outIndex = 0;
        }
        const int n = std::min(len, is.outSize - is.outIndex);
        std::memset(stream, 0, n);
        if (!mute_) {
            SDL_MixAudioFormat(stream, is.outBuf + is.outIndex, AUDIO_S16SYS, n, audioVolume_);
        }
        stream += n;
        len -= n;
        is.outIndex += n;
    }
    is.PublishHanded(now);
    if (OnSoundOut) {
        OnSoundOut(start, total, is.audioRate, is.audioChannels, now);
    }
}

int TCustomPlayer::DecodeAudio(TPlaybackState& is, double& pts) {
    AVCodecContext* dec = is.audioDec.get();
    AVFrame* frame = is.audioFrame.get();
    for (;;) {
        const int ret = avcodec_receive_frame(dec, frame);
        if (ret >= 0) {
            AVChannelLayout& inLayout = frame->ch_layout;
            if (!is.swr || frame->format != is.swrFormat || frame->sample_rate != is.swrRate ||
                inLayout.nb_channels != is.swrChannels) {
                is.swr.reset();
                SwrContext* swr = nullptr;
                AVChannelLayout outLayout;
                av_channel_layout_default(&outLayout, is.audioChannels);
                const int r = swr_alloc_set_opts2(
                    &swr, &outLayout, AV_SAMPLE_FMT_S16, is.audioRate, &inLayout,
                    static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
                if (r < 0 || swr_init(swr) < 0) {
                    swr_free(&swr);
                    const char* name =
                        av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format));
                    FFLogger()->LogFmt(
                        this, llError, "Cannot convert %s sample format to %s sample format",
                        name ? name : "?", av_get_sample_fmt_name(AV_SAMPLE_FMT_S16));
                    av_frame_unref(frame);
                    continue;
                }
                is.swr.reset(swr);
                is.swrFormat = frame->format;
                is.swrRate = frame->sample_rate;
                is.swrChannels = inLayout.nb_channels;
            }
            const int maxOut = swr_get_out_samples(is.swr.get(), frame->nb_samples);
            const size_t bytes = static_cast<size_t>(std::max(maxOut, 0)) * 2 * is.audioChannels;
            if (is.decodedBuf.size() < bytes) {
                is.decodedBuf.resize(bytes);
            }
            uint8_t* out[1] = {is.decodedBuf.data()};
            const int got =
                swr_convert(is.swr.get(), out, maxOut,
                            const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
            if (frame->pts != AV_NOPTS_VALUE) {
                // A demuxer may give a frame its neighbour's time at a packet boundary while the
                // samples still follow one another: a step of less than a frame is not a gap, and
                // following it would shake the clock the pictures keep to by a whole frame.
                const double framePts = frame->pts * av_q2d(is.audioStream->time_base);
                const double length =
                    frame->sample_rate > 0
                        ? static_cast<double>(frame->nb_samples) / frame->sample_rate
                        : 0;
                if (!is.audioPtsKnown || std::fabs(framePts - is.audioPts) > length + 0.001) {
                    is.audioPts = framePts;
                }
                is.audioPtsKnown = true;
            }
            av_frame_unref(frame);
            if (got < 0) {
                FFLogger()->Log(this, llError, "av_audio_convert() failed");
                continue;
            }
            if (got == 0) {
                continue;
            }
            const int size = got * 2 * is.audioChannels;
            pts = is.audioPts;
            is.audioPts =
                is.audioPts + static_cast<double>(size) / (2.0 * is.audioChannels * is.audioRate);
            return size;
        }
        if (ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) {
            FFLogger()->Log(this, llInfo, "avcodec_decode_audio2() failed");
        }
        // The sound never waits for a packet: silence instead.
        if (is.paused || is.audioQueue->Aborted()) {
            return -1;
        }
        AvPacketPtr pkt;
        bool flush = false;
        if (is.audioQueue->Get(pkt, flush, false) <= 0) {
            return -1;
        }
        if (flush) {
            avcodec_flush_buffers(dec);
            is.audioPtsKnown = false;
            continue;
        }
        if (avcodec_send_packet(dec, pkt.get()) < 0) {
            FFLogger()->Log(this, llInfo, "avcodec_decode_audio2() failed");
        }
    }
}

int TCustomPlayer::SynchronizeAudio(TPlaybackState& is, int size) {
    const bool soundIsMaster = !((is.syncType == 1 && is.videoStream) || is.syncType == 2);
    if (soundIsMaster) {
        return size;
    }
    const double diff = AudioClockOf(is) - MasterClockOf(is);
    if (std::fabs(diff) >= 10) {
        is.diffCum = 0;
        is.diffCount = 0;
        return size;
    }
    is.diffCum = diff + is.diffCoef * is.diffCum;
    if (is.diffCount < 20) {
        ++is.diffCount;
        return size;
    }
    const double average = is.diffCum * (1.0 - is.diffCoef);
    if (std::fabs(average) < is.diffThreshold) {
        return size;
    }
    const int n = 2 * is.audioChannels;
    int wanted = size + static_cast<int>(std::lround(diff * is.audioRate)) * n;
    const int minSize = (size / n * 90 / 100) * n;
    const int maxSize = (size / n * 110 / 100) * n;
    wanted = std::clamp(wanted, minSize, maxSize);
    if (wanted > size) {
        if (is.decodedBuf.size() < static_cast<size_t>(wanted)) {
            is.decodedBuf.resize(wanted);
        }
        uint8_t* last = is.decodedBuf.data() + size - n;
        for (int at = size; at < wanted; at += n) {
            std::memcpy(is.decodedBuf.data() + at, last, n);
        }
    }
    return wanted;
}

void TCustomPlayer::DisplayAudio(TPlaybackState& is) {
    const int w = is.outputWidth, h = is.outputHeight;
    const int channels = std::max(is.audioChannels, 1);
    if (w <= 0 || h <= 0) {
        return;
    }
    if (!soundDisplay_) {
        soundDisplay_ = std::make_unique<TSoundDisplay>();
    }
    int start;
    if (is.paused) {
        start = is.lastWaveStart;
    } else {
        const int used = is.showAudio == 1 ? w : 2 * (1 << (TSoundDisplay::SpectrumBits(h) - 1));
        const TPlaybackState::THandedSound handed = is.Handed();
        int delay = handed.pending / (2 * channels);
        if (handed.time) {
            delay -=
                static_cast<int>(is.audioRate * (av_gettime_relative() - handed.time) / 1000000);
        }
        delay += 2 * used;
        delay = std::max(delay, used);
        start = (is.waveIndex - delay * channels) % TSoundDisplay::kRingSamples;
        if (start < 0) {
            start += TSoundDisplay::kRingSamples;
        }
        if (is.showAudio == 1) {
            start = TSoundDisplay::TriggerStart(is.wave.data(), start, channels);
        }
        is.lastWaveStart = start;
    }
    auto image = std::make_shared<TOutputImage>();
    if (is.showAudio == 1) {
        TSoundDisplay::DrawWaveform(is.wave.data(), start, channels, w, h, *image);
    } else {
        *image = soundDisplay_->DrawSpectrum(is.wave.data(), start, channels, w, h);
    }
    Present(std::move(image), AudioClockOf(is));
}

} // namespace quovo
