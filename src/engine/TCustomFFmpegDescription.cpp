// What an input's name tells of it beyond its bytes: a disc title's chapters and the languages
// of its tracks, which the program stream itself does not carry.
#include "TCustomFFmpeg.h"

#include <algorithm>

namespace quovo {

AVChapter& AddChapter(AVFormatContext& ctx, int64_t id, AVRational timeBase, int64_t start,
                      int64_t end) {
    auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    if (!chapter) {
        throw FFmpegException("av_mallocz fail");
    }
    auto** grown = static_cast<AVChapter**>(
        av_realloc_array(ctx.chapters, ctx.nb_chapters + 1, sizeof(*ctx.chapters)));
    if (!grown) {
        av_free(chapter);
        throw FFmpegException("av_realloc fail");
    }
    chapter->id = id;
    chapter->time_base = timeBase;
    chapter->start = start;
    chapter->end = end;
    ctx.chapters = grown;
    ctx.chapters[ctx.nb_chapters++] = chapter;
    return *chapter;
}

void TCustomFFmpeg::DescribeInput(const TInputFileEntry& entry, AVFormatContext& ic,
                                  int64_t origin) {
    const TInputDescription d = entry.io->Description();
    for (const auto& [id, language] : d.languages) {
        for (unsigned i = 0; i < ic.nb_streams; ++i) {
            AVStream* st = ic.streams[i];
            if (st->id == id && !av_dict_get(st->metadata, "language", nullptr, 0)) {
                av_dict_set(&st->metadata, "language", language.c_str(), 0);
            }
        }
    }
    if (d.chapters.empty() || ic.nb_chapters > 0) {
        return;
    }
    if (origin == AV_NOPTS_VALUE) {
        origin = 0;
    }
    // Whatever the input holds before the first picture belongs to the first chapter.
    const int64_t inputStart = ic.start_time != AV_NOPTS_VALUE ? ic.start_time : origin;
    int64_t id = 0;
    for (const TInputDescription::TChapter& c : d.chapters) {
        const int64_t start =
            id == 0 ? std::min(inputStart, origin + c.startUs) : origin + c.startUs;
        AVChapter& chapter = AddChapter(ic, ++id, AV_TIME_BASE_Q, start, origin + c.endUs);
        av_dict_set(&chapter.metadata, "title", c.title.c_str(), 0);
    }
}

} // namespace quovo
