#include "TSubpictureOverlay.h"

#include "SubpictureBlend.h"

#include <cstdint>
#include <limits>

namespace quovo {

namespace {

// A display end the decoder could not tell (no stop command) comes as the largest value.
constexpr uint32_t kUnknownEnd = std::numeric_limits<uint32_t>::max();

} // namespace

TSubpictureOverlay::~TSubpictureOverlay() {
    for (TEntry& e : queue_) {
        avsubtitle_free(&e.sub);
    }
}

void TSubpictureOverlay::Add(AVSubtitle& sub, int64_t ptsUs) {
    if (forcedOnly_ && !HasForcedRect(sub)) {
        avsubtitle_free(&sub);
        return;
    }
    TEntry e{ptsUs + static_cast<int64_t>(sub.start_display_time) * 1000,
             std::numeric_limits<int64_t>::max(), sub};
    if (sub.end_display_time != kUnknownEnd && sub.end_display_time > sub.start_display_time) {
        e.endUs = ptsUs + static_cast<int64_t>(sub.end_display_time) * 1000;
    }
    sub = AVSubtitle{};
    SubtitlePaletteToYuva(e.sub);
    // Subpictures come in display order; one starting no later than the last queued one (a repeated
    // packet) replaces it.
    while (!queue_.empty() && queue_.back().startUs >= e.startUs) {
        avsubtitle_free(&queue_.back().sub);
        queue_.pop_back();
    }
    queue_.push_back(e);
}

bool TSubpictureOverlay::Draw(AVFrame& picture, int64_t ptsUs) {
    while (!ended_ && (queue_.empty() || queue_.back().startUs <= ptsUs)) {
        AVSubtitle sub{};
        int64_t pts = 0;
        if (!source_(sub, pts)) {
            ended_ = true;
        } else {
            Add(sub, pts);
        }
    }
    // A subpicture ends at its own end or where the next one starts.
    while (!queue_.empty() &&
           (queue_.front().endUs <= ptsUs || (queue_.size() > 1 && queue_[1].startUs <= ptsUs))) {
        avsubtitle_free(&queue_.front().sub);
        queue_.pop_front();
    }
    if (queue_.empty() || queue_.front().startUs > ptsUs || queue_.front().sub.num_rects == 0 ||
        picture.format != AV_PIX_FMT_YUV420P || av_frame_make_writable(&picture) < 0) {
        return false;
    }
    BlendSubpicture(picture, queue_.front().sub);
    return true;
}

} // namespace quovo
