#include "InputSubpicture.h"

extern "C" {
#include <libavutil/mem.h>
}

#include <cstring>

namespace quovo {

int AttachSubpictureTrack(AVFormatContext& ic, const TSubpictureTrack& track) {
    AVStream* st = nullptr;
    for (unsigned i = 0; i < ic.nb_streams; ++i) {
        AVStream* s = ic.streams[i];
        if (s->id == track.streamId && s->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
            st = s;
            break;
        }
    }
    if (!st) {
        st = avformat_new_stream(&ic, nullptr);
        if (!st) {
            return -1;
        }
        st->id = track.streamId;
        st->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
        st->codecpar->codec_id = AV_CODEC_ID_DVD_SUBTITLE;
        st->time_base = {1, 90000}; // the program stream's clock
    }
    if (!track.setupText.empty()) {
        const size_t n = track.setupText.size();
        auto* data = static_cast<uint8_t*>(av_mallocz(n + AV_INPUT_BUFFER_PADDING_SIZE));
        if (data) {
            std::memcpy(data, track.setupText.data(), n);
            av_freep(&st->codecpar->extradata);
            st->codecpar->extradata = data;
            st->codecpar->extradata_size = static_cast<int>(n);
        }
    }
    if (!track.language.empty()) {
        av_dict_set(&st->metadata, "language", track.language.c_str(), 0);
    }
    st->disposition |= AV_DISPOSITION_DEFAULT;
    if (track.forcedOnly) {
        st->disposition |= AV_DISPOSITION_FORCED;
    }
    return st->index;
}

void ForcedOnlyDecoderOption(const TSubpictureTrack& track, AVDictionary** options) {
    if (track.forcedOnly) {
        av_dict_set(options, "forced_subs_only", "1", 0);
    }
}

} // namespace quovo
