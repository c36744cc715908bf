// The records the DVD plug-in and its callers share, laid out byte for byte (little-endian, as
// the host is). Callers zero-fill a DVDTitleInfo; the plug-in fills it.
//
// Fields the program itself does not read are filled by our plug-in too, because they are
// useful to tools and tests:
//   DVDTitleInfo.DisplayAspect   (offset 12)  0 = 4:3, 3 = 16:9 (the IFO's code)
//   DVDTitleInfo.FrameRateNum/Den (24, 28)    25/1 for PAL, 30000/1001 for NTSC
//   DVDAudioInfo.Format          (0)          stream kind code (3 MPA, 4 AC3, 5 DTS, 6 LPCM)
//   DVDAudioInfo.Channels        (8)          channel count
//   DVDAudioInfo.SampleRate      (12)         48000 or 96000
//   DVDAudioInfo.LanguageCode    (16)         ISO 639-1 code, e.g. "en" (zero-terminated)
//   DVDSubtitleInfo.Format       (0)          7 (SUB)
//   DVDSubtitleInfo.LanguageCode (8)          ISO 639-1 code
//   DVDTitleInfo.AngleCount      (3148)
//   DVDTitleInfo.TitleSet        (3152)       VTS number of the title
//   DVDTitleInfo.ChapterStartMs  (3156)       start of chapter n+1 in ms from the title start
//   DVDTitleInfo.Palette         (3552)       the subpictures' 16 colours, 0x00YYCrCb (the IFO's)
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace quovo {

// Stream kind codes of VideoFormat and of the audio/subtitle Format fields.
enum TDVDStreamKind : int32_t {
    dskMpeg1 = 1,
    dskMpeg2 = 2,
    dskMpa = 3,
    dskAc3 = 4,
    dskDts = 5,
    dskLpcm = 6,
    dskSub = 7,
};

constexpr int kDVDMaxAudio = 8;
constexpr int kDVDMaxSubtitles = 32;
constexpr int kDVDMaxChapters = 99;

struct DVDAudioInfo {
    int32_t Format;
    int32_t StreamID;
    int32_t Channels;
    int32_t SampleRate;
    char LanguageCode[4];
    char Language[64];
};

struct DVDSubtitleInfo {
    int32_t Format;
    int32_t StreamID;
    char LanguageCode[4];
    char Language[64];
};

struct DVDTitleInfo {
    double Duration; // seconds
    int32_t VideoFormat;
    int32_t DisplayAspect;
    int32_t Width;
    int32_t Height;
    int32_t FrameRateNum;
    int32_t FrameRateDen;
    int32_t AudioCount;
    DVDAudioInfo Audio[kDVDMaxAudio];
    int32_t SubtitleCount;
    DVDSubtitleInfo Subtitles[kDVDMaxSubtitles];
    int32_t ChapterCount;
    int32_t AngleCount;
    int32_t TitleSet;
    uint32_t ChapterStartMs[kDVDMaxChapters];
    uint32_t Palette[16];
    uint8_t Reserved[344];
};

struct DVDPlayParams {
    int32_t Title; // from 0
    int32_t FromChapter;
    int32_t ToChapter;
    int32_t AudioID;
    int32_t SubtitleID;
    int32_t AudioChannels;
    int32_t Deinterlace;
};

static_assert(sizeof(DVDAudioInfo) == 84);
static_assert(offsetof(DVDAudioInfo, StreamID) == 4);
static_assert(offsetof(DVDAudioInfo, Language) == 20);
static_assert(sizeof(DVDSubtitleInfo) == 76);
static_assert(offsetof(DVDSubtitleInfo, StreamID) == 4);
static_assert(offsetof(DVDSubtitleInfo, Language) == 12);
static_assert(sizeof(DVDTitleInfo) == 3960);
static_assert(offsetof(DVDTitleInfo, VideoFormat) == 8);
static_assert(offsetof(DVDTitleInfo, Width) == 16);
static_assert(offsetof(DVDTitleInfo, Height) == 20);
static_assert(offsetof(DVDTitleInfo, AudioCount) == 32);
static_assert(offsetof(DVDTitleInfo, Audio) == 36);
static_assert(offsetof(DVDTitleInfo, SubtitleCount) == 708);
static_assert(offsetof(DVDTitleInfo, Subtitles) == 712);
static_assert(offsetof(DVDTitleInfo, ChapterCount) == 3144);
static_assert(offsetof(DVDTitleInfo, AngleCount) == 3148);
static_assert(offsetof(DVDTitleInfo, Palette) == 3552);
static_assert(sizeof(DVDPlayParams) == 28);

// A 64-byte language field as text: up to the first zero byte, all 64 bytes when there is none.
inline std::string DVDText(const char (&field)[64]) {
    return std::string(field, strnlen(field, sizeof field));
}

} // namespace quovo
