#include "DVDSubpicture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace quovo {

namespace {

uint32_t Channel(double v) {
    return static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L));
}

} // namespace

const DVDSubtitleInfo* FindSubtitle(const DVDTitleInfo& title, int32_t streamId) {
    const int count = std::clamp(title.SubtitleCount, 0, kDVDMaxSubtitles);
    for (int i = 0; i < count; ++i) {
        if (title.Subtitles[i].StreamID == streamId) {
            return &title.Subtitles[i];
        }
    }
    return nullptr;
}

int32_t ForcedSubpictureStream(const DVDTitleInfo& title, int32_t audioId) {
    const int subtitles = std::clamp(title.SubtitleCount, 0, kDVDMaxSubtitles);
    if (subtitles == 0) {
        return 0;
    }
    const DVDAudioInfo* audio = nullptr;
    for (int i = 0; i < std::clamp(title.AudioCount, 0, kDVDMaxAudio); ++i) {
        if (audioId == 0 || title.Audio[i].StreamID == audioId) {
            audio = &title.Audio[i];
            break;
        }
    }
    if (audio && audio->LanguageCode[0]) {
        for (int i = 0; i < subtitles; ++i) {
            if (std::strncmp(title.Subtitles[i].LanguageCode, audio->LanguageCode,
                             sizeof audio->LanguageCode) == 0) {
                return title.Subtitles[i].StreamID;
            }
        }
    }
    return title.Subtitles[0].StreamID;
}

int32_t KeptSubpictureStream(const DVDTitleInfo& title, const DVDPlayParams& params) {
    return params.SubtitleID != 0 ? params.SubtitleID
                                  : ForcedSubpictureStream(title, params.AudioID);
}

uint32_t PaletteEntryToRgb(uint32_t ycrcb) {
    const double y = 1.164 * (static_cast<int>((ycrcb >> 16) & 0xFF) - 16);
    const double cr = static_cast<int>((ycrcb >> 8) & 0xFF) - 128;
    const double cb = static_cast<int>(ycrcb & 0xFF) - 128;
    return Channel(y + 1.596 * cr) << 16 | Channel(y - 0.813 * cr - 0.391 * cb) << 8 |
           Channel(y + 2.018 * cb);
}

std::string SubpictureSetupText(const DVDTitleInfo& title) {
    char line[64];
    std::snprintf(line, sizeof line, "size: %dx%d\npalette:", title.Width, title.Height);
    std::string text = line;
    for (int i = 0; i < 16; ++i) {
        std::snprintf(line, sizeof line, "%s %06x", i == 0 ? "" : ",",
                      PaletteEntryToRgb(title.Palette[i]));
        text += line;
    }
    return text + "\n";
}

} // namespace quovo
