#include "TSubpictureReader.h"

#include "EngineText.h"
#include "InputSubpicture.h"
#include "TEngineOptions.h"
#include "TFFmpegLoader.h"

#include <mutex>

namespace quovo {

TSubpictureReader::~TSubpictureReader() {
    if (dec_) {
        std::lock_guard lock(CodecLock());
        dec_.reset();
    }
}

std::unique_ptr<TSubpictureReader> TSubpictureReader::Open(const std::string& name,
                                                           const TSubpictureTrack& track,
                                                           int64_t seekTo, int64_t tsOffsetUs,
                                                           std::string& why) {
    std::unique_ptr<TSubpictureReader> r(new TSubpictureReader());
    r->tsOffsetUs_ = tsOffsetUs;
    AVFormatContext* ic = avformat_alloc_context();
    if (!ic) {
        why = "avformat_alloc_context failed";
        return nullptr;
    }
    if (const int err = OpenLibraryInput(name, ic, nullptr, nullptr, r->io_); err < 0) {
        why = FormatErrorText(name, err);
        return nullptr;
    }
    r->ic_.reset(ic);
    r->stream_ = AttachSubpictureTrack(*ic, track);
    if (r->stream_ < 0) {
        why = "the subtitle stream cannot be added";
        return nullptr;
    }
    if (seekTo != NoTimestamp) {
        av_seek_frame(ic, -1, seekTo, AVSEEK_FLAG_BACKWARD);
    }
    AVStream* st = ic->streams[r->stream_];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    r->dec_.reset(avcodec_alloc_context3(codec));
    if (!codec || !r->dec_ || avcodec_parameters_to_context(r->dec_.get(), st->codecpar) < 0) {
        why = "no decoder for the subtitle stream";
        return nullptr;
    }
    r->dec_->pkt_timebase = st->time_base;
    {
        std::lock_guard lock(CodecLock());
        if (avcodec_open2(r->dec_.get(), codec, nullptr) < 0) {
            why = "the subtitle decoder cannot be opened";
            return nullptr;
        }
    }
    r->pkt_ = MakePacket();
    return r;
}

bool TSubpictureReader::Next(AVSubtitle& sub, int64_t& ptsUs) {
    AVPacket* pkt = pkt_.get();
    while (av_read_frame(ic_.get(), pkt) >= 0) {
        if (pkt->stream_index != stream_ || pkt->pts == AV_NOPTS_VALUE) {
            av_packet_unref(pkt);
            continue;
        }
        int got = 0;
        const int err = avcodec_decode_subtitle2(dec_.get(), &sub, &got, pkt);
        ptsUs =
            av_rescale_q(pkt->pts, ic_->streams[stream_]->time_base, AV_TIME_BASE_Q) + tsOffsetUs_;
        av_packet_unref(pkt);
        if (err >= 0 && got) {
            return true;
        }
    }
    return false;
}

} // namespace quovo
