// What the preferences dialog edits: where and how snapshots are saved, the work priority of
// conversions and how much of the machine they use, read from and written to the settings section
// "settings".
#pragma once

#include "TAppSettings.h"
#include "TIniStore.h"

#include <string>

namespace quovo {

struct TPreferenceValues {
    std::string SnapFolder;
    bool FullSize = true;
    bool SmallSize = false;
    bool Bmp = true;
    bool Jpg = false;
    int JpegQuality = 20;      // 1..100
    int Priority = 1;          // 0 idle, 1 normal, 2 lower, 3 lowest
    bool AllCores = true;      // every processor core for each conversion
    int ConversionsAtOnce = 1; // 1..the cores there are

    // What "&Default" shows.
    static TPreferenceValues Defaults(const std::string& defaultFolder);
    // The stored values. A pair stored with both boxes off shows its first box on, so at least
    // one size and one type stay chosen; an unknown priority shows "Normal".
    static TPreferenceValues Read(const TAppSettings& settings);
    // Every key in one replacement of the file; an empty folder is stored as defaultFolder.
    bool Write(TIniStore& settings, const std::string& defaultFolder) const;
};

} // namespace quovo
