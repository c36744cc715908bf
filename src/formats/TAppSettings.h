// The keys of the settings section "settings" with their defaults and reading rules, so that
// every window and tool reads them alike. Each call is one operation on the file.
#pragma once

#include "TIniStore.h"

#include <optional>
#include <string>

namespace quovo {

class TAppSettings {
public:
    // defaultFolder stands for the platform's Videos + "/videoconverter" (tests pass their own).
    TAppSettings(TIniStore& ini, std::string defaultFolder);
    explicit TAppSettings(TIniStore& ini);

    std::string OutputDir() const; // OutPutDir
    bool SetOutputDir(const std::string& dir);
    std::string FormatCode() const; // FormatCode, "1"
    int FormatCodeNumber() const;   // the same as a number, 1 when not one
    std::string FormatName() const; // FormatName, else StoredFormatName
    bool SetFormat(const std::string& name, int code);
    int OutputFormat() const;          // OutPutFormat, 0
    int SkinIndex() const;             // skinIndex 0..6, 0
    int PreviewVolume() const;         // volume 0..128, 0; outside the range 64
    std::optional<bool> Mute() const;  // mute: 1 true, 0 false, anything else: as designed
    std::string SnapOutputDir() const; // SnapOutPutDir
    bool SnapFullSize() const;         // snapFullSize, 1
    bool SnapSmallSize() const;        // snapSmallSize, 1
    bool SnapBmp() const;              // snapBmp, 1
    bool SnapJpg() const;              // snapJpg, 1
    int JpegQuality() const;           // jpgCmp, 30
    int Priority() const;              // priority 0 idle, 1 normal, 2 lower, 3 lowest; 1
    bool AllCores() const;             // allCores: every core for each conversion, 1
    int ConversionsAtOnce() const;     // conversionsAtOnce 1..the cores there are, 1

private:
    TIniStore& ini_;
    std::string defaultFolder_;
};

// The one line that tells the user the settings file exists but cannot be read, so defaults are
// used and the file is left as it is: "cannot read the settings file PATH: REASON; using
// defaults". Empty when the file can be read or does not exist yet.
std::string SettingsReadWarning(const TIniStore& settings);

// The stored FormatName; without one, the catalogue's name of the stored FormatCode (of code 1 when
// that is no format), so a first start names the format its boxes and runs use.
std::string StoredFormatName(const TIniStore& settings);

} // namespace quovo
