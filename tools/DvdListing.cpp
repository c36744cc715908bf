#include "DvdListing.h"

#include "DVDDrives.h"
#include "DVDPlugIn.h"
#include "TFFLogger.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace quovo {

namespace {

void QuietLogger() {
    TFFLogger* logger = FFLogger();
    logger->SetTriggerEventInMainThread(false);
    logger->SetLogLevel(llError);
    logger->SetOnLog([](TFFBaseComponent*, uint32_t, TLogLevel, const std::string& msg) {
        std::fprintf(stderr, "%s\n", msg.c_str());
    });
}

bool LoadPlugin() {
    if (LoadDVDPlugin(DefaultDVDPluginFolder())) {
        return true;
    }
    std::fprintf(stderr, "quovo-convert: %s\n", DVDPluginError().c_str());
    return false;
}

std::string Clock(double seconds) {
    const long s = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

int ListTitles(const std::string& path) {
    QuietLogger();
    if (!LoadPlugin()) {
        return 1;
    }
    const int count = EnumDVDTitles(path);
    if (count < 1) {
        std::printf("No DVD title(s) found. Maybe not a valid DVD.\n");
        return 1;
    }
    std::printf("%s: %d title(s)\n", path.c_str(), count);
    for (int i = 0; i < count; ++i) {
        DVDTitleInfo t;
        if (!GetDVDTitle(i, t)) {
            std::printf("Title #%d is invalid\n", i + 1);
            continue;
        }
        std::printf("Title %d: %s (%.3f s), %d x %d, %s, %d chapter(s)\n", i + 1,
                    Clock(t.Duration).c_str(), t.Duration, t.Width, t.Height,
                    StreamKindName(t.VideoFormat).c_str(), t.ChapterCount);
        for (int a = 0; a < t.AudioCount; ++a) {
            const DVDAudioInfo& e = t.Audio[a];
            std::printf("  audio %d  %s (%s, %d ch)\n", e.StreamID, e.Language,
                        StreamKindName(e.Format).c_str(), e.Channels);
        }
        for (int s = 0; s < t.SubtitleCount; ++s) {
            std::printf("  subtitle %d  %s\n", t.Subtitles[s].StreamID, t.Subtitles[s].Language);
        }
    }
    return 0;
}

int ListDrives() {
    const std::vector<TOpticalDrive> drives = ListOpticalDrives();
    if (drives.empty()) {
        std::printf("No optical drives.\n");
    }
    for (const TOpticalDrive& d : drives) {
        std::printf("%s%s\n", d.Caption().c_str(), d.hasDisc ? "" : " (no disc)");
    }
    return 0;
}

} // namespace

bool RunDvdCommands(int argc, char** argv, int& exitCode) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list-titles") == 0) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "quovo-convert: --list-titles needs a DVD path\n");
                exitCode = 2;
            } else {
                exitCode = ListTitles(argv[i + 1]);
            }
            return true;
        }
        if (std::strcmp(argv[i], "--list-drives") == 0) {
            exitCode = ListDrives();
            return true;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kOpenDVDPrefix, std::strlen(kOpenDVDPrefix)) == 0) {
            if (!LoadPlugin()) {
                exitCode = 1;
                return true;
            }
            break;
        }
    }
    return false;
}

} // namespace quovo
