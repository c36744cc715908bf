// The decoding branch of the transcoding loop: dispatch by kind and what the kinds share.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"

extern "C" {
#include <libavutil/time.h>
}

#include <algorithm>
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
    if (!pkt || !ReachedCopyStart(ist)) {
        return;
    }
    for (TOutputStream* ost : OutputsOf(ist)) {
        if (ost->active && !ost->encoding_needed) {
            CopyPacket(*ost, ist, pkt, false);
        }
    }
}

bool TCustomFFmpeg::SoughtInput(const TInputStream& ist) const {
    return inputFiles_[static_cast<size_t>(ist.file_index)].startSeek != NoTimestamp;
}

int64_t TCustomFFmpeg::InputEndUs(const TInputStream& ist) const {
    int64_t end = inputFiles_[static_cast<size_t>(ist.file_index)].endUs;
    if (opt_.recordingTime != UnlimitedTime) {
        end = std::min(end, opt_.recordingTime + opt_.startTime);
    }
    return end;
}

bool TCustomFFmpeg::ReachedCopyStart(const TInputStream& ist) const {
    return opt_.startTime == 0 || ist.pts >= opt_.startTime;
}

bool TCustomFFmpeg::ReachedStartTime(const TInputStream& ist, int64_t timeUs) const {
    if (timeUs < 0 && SoughtInput(ist)) {
        return false;
    }
    return opt_.startTime == 0 || timeUs >= opt_.startTime;
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
