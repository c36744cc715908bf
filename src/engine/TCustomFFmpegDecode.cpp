// The decoding branch of the transcoding loop: dispatch by kind and what the kinds share.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"

extern "C" {
#include <libavutil/time.h>
}

#include <thread>

namespace quovo {

int TCustomFFmpeg::DecodeAndOutput(TInputStream& ist, AVPacket* pkt) {
    switch (ist.st->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        return DecodeVideo(ist, pkt);
    case AVMEDIA_TYPE_AUDIO:
        return DecodeAudio(ist, pkt);
    case AVMEDIA_TYPE_SUBTITLE:
        return DecodeSubtitle(ist, pkt);
    default:
        return -1;
    }
}

void TCustomFFmpeg::FlushEncoders(TInputStream& ist) {
    for (TOutputStream* ost : OutputsOf(ist)) {
        if (!ost->encoding_needed || !ost->active) {
            continue;
        }
        switch (ost->codec->ctx->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            FlushVideoEncoder(*ost);
            break;
        case AVMEDIA_TYPE_AUDIO:
            FlushAudioEncoder(*ost);
            break;
        default:
            break;
        }
    }
}

void TCustomFFmpeg::CopyToStreamCopies(TInputStream& ist, AVPacket* pkt) {
    if (!pkt || !ReachedStartTime(ist)) {
        return;
    }
    for (TOutputStream* ost : OutputsOf(ist)) {
        if (ost->active && !ost->encoding_needed) {
            CopyPacket(*ost, ist, pkt, false);
        }
    }
}

bool TCustomFFmpeg::ReachedStartTime(const TInputStream& ist) const {
    return opt_.startTime == 0 || ist.pts >= opt_.startTime;
}

void TCustomFFmpeg::RateEmulationWait(const TInputStream& ist) const {
    if (!opt_.rateEmu) {
        return;
    }
    const int64_t ahead = ist.pts - (av_gettime() - ist.start);
    if (ahead > 1000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ahead / 1000));
    }
}

} // namespace quovo
