// The subpictures of one bitmap subtitle stream, pulled from their source ahead of the pictures
// and drawn into each picture that falls inside their display time.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <cstdint>
#include <deque>
#include <functional>

namespace quovo {

class TSubpictureOverlay {
public:
    // Gives the next decoded subpicture and its packet time (µs); false at the end.
    using TSource = std::function<bool(AVSubtitle& sub, int64_t& ptsUs)>;

    // `forcedOnly`: subpictures without a rectangle flagged forced are not shown.
    TSubpictureOverlay(TSource source, bool forcedOnly)
        : source_(std::move(source)), forcedOnly_(forcedOnly) {}
    ~TSubpictureOverlay();
    TSubpictureOverlay(const TSubpictureOverlay&) = delete;
    TSubpictureOverlay& operator=(const TSubpictureOverlay&) = delete;

    // Draws what shows at `ptsUs` into a YUV 4:2:0 picture, made writable first (the decoder may
    // still hold it as a reference). Pulls subpictures until one starts after `ptsUs`; drops
    // those that ended. A subpicture without a known end shows until the next one starts. True
    // when something was drawn.
    bool Draw(AVFrame& picture, int64_t ptsUs);

private:
    struct TEntry {
        int64_t startUs;
        int64_t endUs; // INT64_MAX: until the next one starts
        AVSubtitle sub;
    };
    void Add(AVSubtitle& sub, int64_t ptsUs);

    TSource source_;
    bool forcedOnly_;
    bool ended_ = false;
    std::deque<TEntry> queue_;
};

} // namespace quovo
