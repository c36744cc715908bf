#include "TAppSettings.h"

#include "FormatCatalogue.h"
#include "TGlobalObject.h"

#include <algorithm>
#include <thread>

namespace quovo {

namespace {
const char* const kSection = "settings";
}

TAppSettings::TAppSettings(TIniStore& ini, std::string defaultFolder)
    : ini_(ini), defaultFolder_(std::move(defaultFolder)) {}

TAppSettings::TAppSettings(TIniStore& ini) : TAppSettings(ini, DefaultOutputFolder()) {}

std::string TAppSettings::OutputDir() const {
    return ini_.ReadString(kSection, "OutPutDir", defaultFolder_);
}

bool TAppSettings::SetOutputDir(const std::string& dir) {
    return ini_.WriteString(kSection, "OutPutDir", dir);
}

std::string TAppSettings::FormatCode() const {
    return ini_.ReadString(kSection, "FormatCode", "1");
}

int TAppSettings::FormatCodeNumber() const {
    return ini_.ReadInteger(kSection, "FormatCode", 1);
}

std::string TAppSettings::FormatName() const {
    return StoredFormatName(ini_);
}

std::string StoredFormatName(const TIniStore& settings) {
    if (settings.ValueExists(kSection, "FormatName")) {
        return settings.ReadString(kSection, "FormatName", "");
    }
    std::optional<TFormatEntry> format =
        FindFormat(settings.ReadInteger(kSection, "FormatCode", 1));
    return (format ? format : FindFormat(1))->Name;
}

bool TAppSettings::SetFormat(const std::string& name, int code) {
    return ini_.WriteValues(kSection, {{"FormatName", name}, {"FormatCode", std::to_string(code)}});
}

int TAppSettings::OutputFormat() const {
    return ini_.ReadInteger(kSection, "OutPutFormat", 0);
}

int TAppSettings::SkinIndex() const {
    const int skin = ini_.ReadInteger(kSection, "skinIndex", 0);
    return skin >= 0 && skin <= 6 ? skin : 0;
}

int TAppSettings::PreviewVolume() const {
    const int volume = ini_.ReadInteger(kSection, "volume", 0);
    return volume >= 0 && volume <= 128 ? volume : 64;
}

std::optional<bool> TAppSettings::Mute() const {
    const int mute = ini_.ReadInteger(kSection, "mute", 0);
    if (mute == 1) {
        return true;
    }
    if (mute == 0) {
        return false;
    }
    return std::nullopt;
}

std::string TAppSettings::SnapOutputDir() const {
    return ini_.ReadString(kSection, "SnapOutPutDir", defaultFolder_);
}

bool TAppSettings::SnapFullSize() const {
    return ini_.ReadBool(kSection, "snapFullSize", true);
}
bool TAppSettings::SnapSmallSize() const {
    return ini_.ReadBool(kSection, "snapSmallSize", true);
}
bool TAppSettings::SnapBmp() const {
    return ini_.ReadBool(kSection, "snapBmp", true);
}
bool TAppSettings::SnapJpg() const {
    return ini_.ReadBool(kSection, "snapJpg", true);
}
int TAppSettings::JpegQuality() const {
    return ini_.ReadInteger(kSection, "jpgCmp", 30);
}
int TAppSettings::Priority() const {
    return ini_.ReadInteger(kSection, "priority", 1);
}

std::string SettingsReadWarning(const TIniStore& settings) {
    const std::string reason = settings.ReadError();
    if (reason.empty()) {
        return {};
    }
    return "cannot read the settings file " + settings.Path() + ": " + reason + "; using defaults";
}

bool TAppSettings::AllCores() const {
    return ini_.ReadBool(kSection, "allCores", true);
}

int TAppSettings::ConversionsAtOnce() const {
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    return std::clamp(ini_.ReadInteger(kSection, "conversionsAtOnce", 1), 1, cores);
}

} // namespace quovo
