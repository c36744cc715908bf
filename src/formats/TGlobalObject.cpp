#include "TGlobalObject.h"

#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef QUOVO_VERSION
#define QUOVO_VERSION "3.3.0.0"
#endif

namespace quovo {

namespace fs = std::filesystem;

namespace {

std::string VersionFromBuild() {
    int parts[4] = {0, 0, 0, 0};
    std::string text = QUOVO_VERSION;
    size_t pos = 0;
    for (int i = 0; i < 4 && pos <= text.size(); ++i) {
        size_t dot = text.find('.', pos);
        parts[i] = std::atoi(text.substr(pos, dot - pos).c_str());
        if (dot == std::string::npos) {
            break;
        }
        pos = dot + 1;
    }
    return MakeVersionText(parts[0], parts[1], parts[2], parts[3]);
}

fs::path ExecutableFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

} // namespace

std::string MakeVersionText(int major, int minor, int patch, int tweak) {
    return " " + std::to_string(major) + "." + std::to_string(minor) + std::to_string(patch) +
           std::to_string(tweak) + " ";
}

std::string SettingsFolder() {
    const char* env = std::getenv("QUOVO_CONFIG_DIR");
    if (env != nullptr && *env != '\0') {
        return env;
    }
    // Not AppConfigLocation itself: that depends on the running program's name, and the windowed
    // program and quovo-convert must share one settings file.
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return (base + "/quovo").toStdString();
}

std::string FindFormatFile() {
    const std::string name = "quovoformat.ini";
    std::vector<fs::path> candidates;
    fs::path exeDir = ExecutableFolder();
    if (!exeDir.empty()) {
        candidates.push_back(exeDir / name);
        candidates.push_back(exeDir / "data" / name);
        candidates.push_back(exeDir.parent_path() / "data" / name);
        candidates.push_back(exeDir.parent_path() / "share" / "quovo" / name);
    }
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        candidates.push_back(fs::path(dir.toStdString()) / "quovo" / name);
    }
#ifdef QUOVO_SOURCE_DATA_DIR
    candidates.push_back(fs::path(QUOVO_SOURCE_DATA_DIR) / name);
#endif
    std::error_code ec;
    for (const fs::path& p : candidates) {
        if (fs::is_regular_file(p, ec)) {
            return p.string();
        }
    }
    return candidates.empty() ? name : candidates.front().string();
}

std::string DefaultOutputFolder() {
    QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (videos.isEmpty()) {
        videos = QStandardPaths::writableLocation(QStandardPaths::HomeLocation) + "/Videos";
    }
    return (videos + "/videoconverter").toStdString();
}

TGlobalObject::TGlobalObject() : TGlobalObject(SettingsFolder() + "/quovo.ini", FindFormatFile()) {}

TGlobalObject::TGlobalObject(std::string settingsFile, std::string formatFile)
    : SettingsFile(std::move(settingsFile)), FormatFile(std::move(formatFile)),
      VersionText(VersionFromBuild()) {}

} // namespace quovo
