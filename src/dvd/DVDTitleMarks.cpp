#include "DVDTitleMarks.h"

#include "DVDDiscInfo.h"
#include "DVDTitleReader.h"

#include <algorithm>

namespace quovo {

namespace {

// MPEG audio streams are PES streams of their own (0x1C0 …); the other kinds are sub-streams of
// the private stream, known by the sub-stream number alone.
int DemuxerStreamId(int32_t streamId) {
    return streamId >= 0xC0 && streamId <= 0xC7 ? 0x100 + streamId : streamId;
}

} // namespace

TInputDescription DescribeTitle(const DVDTitleInfo& title, const DVDPlayParams& params) {
    TInputDescription d;
    const int count = std::clamp(title.ChapterCount, 0, kDVDMaxChapters);
    int from = 0;
    int to = 0;
    if (count > 0 && ChapterRange(params, count, from, to)) {
        const int64_t base = title.ChapterStartMs[from - 1];
        const int64_t titleEnd = static_cast<int64_t>(title.Duration * 1000 + 0.5);
        for (int c = from; c <= to; ++c) {
            const int64_t start = title.ChapterStartMs[c - 1];
            const int64_t end = std::max(
                start, c < count ? static_cast<int64_t>(title.ChapterStartMs[c]) : titleEnd);
            d.chapters.push_back(
                {(start - base) * 1000, (end - base) * 1000, "Chapter " + std::to_string(c)});
        }
    }
    for (int i = 0; i < std::clamp(title.AudioCount, 0, kDVDMaxAudio); ++i) {
        const std::string code = LanguageCode3(title.Audio[i].LanguageCode);
        if (!code.empty()) {
            d.languages.emplace_back(DemuxerStreamId(title.Audio[i].StreamID), code);
        }
    }
    for (int i = 0; i < std::clamp(title.SubtitleCount, 0, kDVDMaxSubtitles); ++i) {
        const std::string code = LanguageCode3(title.Subtitles[i].LanguageCode);
        if (!code.empty()) {
            d.languages.emplace_back(title.Subtitles[i].StreamID, code);
        }
    }
    return d;
}

} // namespace quovo
