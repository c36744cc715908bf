#include "TPreferenceValues.h"

#include <algorithm>

namespace quovo {

TPreferenceValues TPreferenceValues::Defaults(const std::string& defaultFolder) {
    TPreferenceValues values;
    values.SnapFolder = defaultFolder;
    return values;
}

TPreferenceValues TPreferenceValues::Read(const TAppSettings& settings) {
    TPreferenceValues values;
    values.SnapFolder = settings.SnapOutputDir();
    values.SmallSize = settings.SnapSmallSize();
    values.FullSize = settings.SnapFullSize() || !values.SmallSize;
    values.Jpg = settings.SnapJpg();
    values.Bmp = settings.SnapBmp() || !values.Jpg;
    values.JpegQuality = std::clamp(settings.JpegQuality(), 1, 100);
    const int priority = settings.Priority();
    values.Priority = priority >= 0 && priority <= 3 ? priority : 1;
    values.AllCores = settings.AllCores();
    values.ConversionsAtOnce = settings.ConversionsAtOnce();
    return values;
}

bool TPreferenceValues::Write(TIniStore& settings, const std::string& defaultFolder) const {
    auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    std::vector<std::pair<std::string, std::string>> values = {
        {"snapOutPutDir", SnapFolder.empty() ? defaultFolder : SnapFolder},
        {"snapBmp", flag(Bmp)},
        {"snapJpg", flag(Jpg)},
        {"snapFullSize", flag(FullSize)},
        {"snapSmallSize", flag(SmallSize)},
    };
    if (JpegQuality > 0) {
        values.emplace_back("jpgCmp", std::to_string(JpegQuality));
    }
    values.emplace_back("priority", std::to_string(Priority));
    values.emplace_back("allCores", flag(AllCores));
    values.emplace_back("conversionsAtOnce", std::to_string(std::max(ConversionsAtOnce, 1)));
    return settings.WriteValues("settings", values);
}

} // namespace quovo
