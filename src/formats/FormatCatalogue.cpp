#include "FormatCatalogue.h"

#include <string_view>

namespace quovo {

namespace {

struct TCategory {
    const char* Name;
    std::vector<const char*> Formats;
};

const std::array<TCategory, kCategoryCount>& Categories() {
    static const std::array<TCategory, kCategoryCount> categories = {{
        {"Apple iPod",
         {"iPod Video MPEG-4 (*.mp4)", "iPod Video H.264 (*.mp4)",
          "iPod MPEG-4 Excellent (320 x 240)(*.mp4)", "iPod MPEG-4 Normal (320 x 240)(*.mp4)",
          "iPod MPEG-4 Mini (320 x 240)(*.mp4)", "iPod Touch MPEG-4 Excellent (*.mp4)",
          "iPod Touch MPEG-4 (480 x 320) (*.mp4)", "iPod Touch MPEG-4 (320 x 240) (*.mp4)",
          "iPod Touch MPEG-4 Wide Screen (*.mp4)"}},
        {"Apple iPhone",
         {"iPhone MPEG-4 Extra Video (*.mp4)", "iPhone MPEG-4 Wide Screen (*.mp4)",
          "iPhone MPEG-4 Movie (*.mp4)", "iPhone Movie for 480p TV Out (*.mp4)",
          "iPhone Movie for 576p TV Out (*.mp4)"}},
        {"Apple TV",
         {"Apple TV (640 x 480) MPEG-4 Excellent (*.mp4)",
          "Apple TV (640 x 480) MPEG-4 Normal (*.mp4)", "Apple TV (640 x 480) MPEG-4 Mini (*.mp4)",
          "Apple H.264 (320 x 240) (*.mp4)", "Apple H.264 480P (640 x 480) (*.mp4)",
          "Apple H.264 720p (1280 x 720) (*.mp4)"}},
        {"GPhone", {"GPhone MPEG-4 Movie (*.mp4)"}},
        {"Sony PSP",
         {"PSP MPEG-4 Excellent Quality (*.mp4)", "PSP MPEG-4 Normal Quality (*.mp4)",
          "PSP MPEG-4 Mini Size (*.mp4)", "PSP H.264/AVC Video (*.mp4)",
          "PSP Video (480P) (*.mp4)"}},
        {"Sony PS3",
         {"PS3 MPEG-4 Video (480P) (*.mp4)", "PS3 MPEG-4 Video (480P) Excellent (*.mp4)",
          "PS3 MPEG-4 Video (720P) (*.mp4)", "PS3 MPEG-4 Video (1080P) (*.mp4)"}},
        {"Microsoft Zune",
         {"Microsoft Zune MPEG-4 Video (*.mp4)", "Microsoft Zune MPEG-4 AVC Video (*.mp4)",
          "Microsoft Zune Windows Media Video (*.wmv)"}},
        {"Sony Walkman",
         {"Sony Walkman MPEG-4 Video (*.mp4)", "Sony Walkman AVC Video (*.mp4)",
          "Sony Walkman WMV Video (*.wmv)"}},
        {"Archos",
         {"Archos H.264 Video (*.mp4)", "Archos MPEG4 Video (*.mp4)", "Archos 105 Video (*.wmv)",
          "Archos 404/405 Video (*.avi)", "Archos 504/604 Video (*.avi)",
          "Archos 605/705/TV+ Video (*.avi)", "Archos AV500/700 Video (*.avi)"}},
        {"Creative Zen",
         {"Creative Zen H.264 Video (*.mp4)", "Creative Zen MPEG4 Video (*.mp4)",
          "Creative Zen Xvid Video (*.avi)", "Creative Zen X-Fi Video (*.avi)",
          "Creative Zen Vison Video (*.avi)", "Creative Zen Vison M Video (*.avi)",
          "Creative Zen Vison W Video (*.avi)"}},
        {"iRiver",
         {"iRiver H.264 Video (*.mp4)", "iRiver MPEG4 Video (*.mp4)", "iRiver WMV Video (*.wmv)",
          "iRiver Xvid Video (*.avi)", "iRiver E10 Video (*.avi)", "iRiver U10/Clix Video (*.avi)",
          "iRiver B20/X20/Clix 2/E100/Lplayer Video (*.avi)",
          "iRiver Spinn/D28/DICPLE D30 Video (*.avi)", "iRiver P10/P20 Video (*.avi)",
          "iRiver PMP-120/140/IMP-1000/1100 Video (*.avi)"}},
        {"Sandisk Sansa",
         {"Sandisk Sansa AVI Video (*.avi)", "Sandisk Sansa WMV Video (*.wmv)",
          "Sandisk Sansa MPEG-4 Video (*.mp4)"}},
        {"Microsoft xbox 360",
         {"Microsoft Xbox WMV Video (*.wmv)", "Microsoft Xbox AVI Video (*.avi)",
          "Microsoft Xbox MPEG-4 Video (*.mp4)"}},
        {"Nitendeo WII", {"Nitendeo Wii AVI Video (*.avi)", "Nitendeo Wii MOV Video (*.mov)"}},
        {"Mobile Phone",
         {"Mobile Phone 3GP h263 Video(*.3gp)", "Mobile Phone 3GP MPEG-4 Video(*.3gp)",
          "Mobile Phone 3GP2 h263 Video(*.3gp)", "Mobile Phone 3GP2 MPEG-4 Video(*.3gp)",
          "Mobile Phone MPEG-4 Video(*.mp4)", "Nokia N Series MPEG-4 Video(*.mp4)"}},
        {"BlackBerry", {"BlackBerry MPEG-4 Video(*.mp4)"}},
        {"Nokia", {"Nokia N Series MPEG-4 Video (*.mp4)"}},
        {"Windows Mobile",
         {"Dell Axim 51 Video (*.wmv)", "Dell Axim 51V Video (*.wmv)",
          "HP iPAQ hw6500 Series Video (*.wmv)",
          "HP iPAQ hx2000/rx3000/rx1900 Series Video (*.wmv)",
          "HP iPAQ hx4700 Series Video (*.wmv)", "Palm Treo Series Video (*.wmv)",
          "HTC Touch Diamond Video (*.wmv)", "General Pocket PC Video (*.wmv)"}},
        {"Quick Time Video - MOV", {"MOV - Quick Time Video (*.mov)"}},
        {"Flash Video", {"Flash Video Format (*.flv)", "Flash SWF Format (*.swf)"}},
        {"Toshiba Gigabeat", {"Toshiba Gigabeat WMV Movie (*.wmv)"}},
        {"HD Video",
         {"HD AVI Video (*.avi)", "HD Divx Video (*.avi)", "HD H.264/MPEG-4 AVC Video (*.mp4)",
          "HD MOV Video (*.mov)", "HD WMV Video (*.wmv)", "HD MPEG-4 Video (*.mp4)",
          "HD Xvid Video (*.avi)", "HD MPEG2-PS Video (*.mpg)", "HD MPEG2-TS Video (*.ts)"}},
        {"Matroska Video - MKV", {"MKV - Matroska Video (*.mkv)"}},
        {"General Video formates",
         {"MPEG-1 Video (*.mpg)", "MPEG-2 Video (*.mpg)", "MPEG-4 Video (*.mp4)",
          "H.264/MPEG-4 AVC Video (*.mp4)", "AVI Video (*.avi)", "WMV Video (*.wmv)",
          "Divx Video (*.avi)", "Xvid Video (*.avi)", "DV - NTSC -Digital Video Format (*.dv)",
          "DV - PAL -Digital Video Format (*.dv)"}},
        {"General Audio formates",
         {"MP3 MPEG Layer-3 Audio (*.mp3)", "AAC Advenced Audio Codec (*.aac)",
          "M4A MPEG-4 Audio (*.m4a)", "WMA - Windows Meida Audio (*.wma)",
          "WAV - Waveform Audio (*.wav)", "OGG Vorbis Audio Codec (*.ogg)",
          "AC-3 Audio Codec (*.ac3)"}},
    }};
    return categories;
}

} // namespace

void TFormatTable::Fill() {
    for (auto& row : slots_) {
        for (auto& slot : row) {
            slot.clear();
        }
    }
    for (int c = 0; c < kCategoryCount; ++c) {
        const auto& formats = Categories()[c].Formats;
        for (size_t p = 0; p < formats.size(); ++p) {
            slots_[c][p] = formats[p];
        }
    }
}

const std::string& TFormatTable::Slot(int category, int position) const {
    static const std::string empty;
    if (category < 0 || category >= kFormatTableSize || position < 0 ||
        position >= kFormatTableSize) {
        return empty;
    }
    return slots_[category][position];
}

const std::string& CategoryName(int category) {
    static const std::array<std::string, kCategoryCount> names = [] {
        std::array<std::string, kCategoryCount> result;
        for (int c = 0; c < kCategoryCount; ++c) {
            result[c] = Categories()[c].Name;
        }
        return result;
    }();
    static const std::string empty;
    return category >= 0 && category < kCategoryCount ? names[category] : empty;
}

const std::vector<TFormatEntry>& AllFormats() {
    static const std::vector<TFormatEntry> formats = [] {
        std::vector<TFormatEntry> result;
        for (int c = 0; c < kCategoryCount; ++c) {
            const auto& names = Categories()[c].Formats;
            for (size_t p = 0; p < names.size(); ++p) {
                int pos = static_cast<int>(p);
                result.push_back({c * 100 + pos, c, pos, names[p]});
            }
        }
        return result;
    }();
    return formats;
}

std::optional<TFormatEntry> FindFormat(int code) {
    for (const TFormatEntry& e : AllFormats()) {
        if (e.Code == code) {
            return e;
        }
    }
    return std::nullopt;
}

std::string FormatSection(int code) {
    return "formatInfo" + std::to_string(code);
}

} // namespace quovo
