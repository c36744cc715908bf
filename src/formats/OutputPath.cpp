#include "OutputPath.h"

#include "TGlobalObject.h"
#include "TOutputFiles.h"

#include <filesystem>
#include <system_error>

namespace quovo {

namespace fs = std::filesystem;

namespace {

bool EnsureFolder(const std::string& dir) {
    if (dir.empty()) {
        return false;
    }
    std::error_code ec;
    if (fs::is_directory(dir, ec)) {
        return true;
    }
    fs::create_directories(dir, ec);
    return fs::is_directory(dir, ec);
}

// Anything at that name counts as taken, a dangling link or a folder included.
bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found ||
           (ec && ec.value() != ENOENT);
}

// So does a name whose output is being written, or was left partial, under its temporary name.
bool NameTaken(const std::string& path) {
    return Exists(path) || Exists(PartFileName(path));
}

std::string BaseName(const std::string& sourceName) {
    std::string name = sourceName;
    size_t slash = name.find_last_of('/');
    if (slash != std::string::npos) {
        name = name.substr(slash + 1);
    }
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) {
        name = name.substr(0, dot);
    }
    return name;
}

} // namespace

std::string MakeOutputPath(TIniStore& settings, TDialogService& dialogs,
                           const std::string& sourceName, const std::string& suffix,
                           const std::string& defaultFolder) {
    std::string dir = settings.ReadString("settings", "OutPutDir", defaultFolder);
    if (!EnsureFolder(dir)) {
        dialogs.ShowMessage("Warning",
                            "Cannot create output directory:" + dir +
                                ".It will create default directory " + defaultFolder + "!",
                            TMessageIcon::Warning);
        if (!EnsureFolder(defaultFolder)) {
            return {};
        }
        settings.WriteString("settings", "OutPutDir", defaultFolder);
        dir = defaultFolder;
    }
    return NewOutputName(dir, sourceName, suffix);
}

std::string NewOutputName(const std::string& folder, const std::string& sourceName,
                          const std::string& suffix) {
    std::string dir = folder;
    if (dir.empty() || dir.back() != '/') {
        dir += '/';
    }
    const std::string base = dir + BaseName(sourceName);
    std::string path = base + "_(new)" + suffix;
    for (int n = 1; NameTaken(path); ++n) {
        path = base + "_(new_" + std::to_string(n) + ")" + suffix;
    }
    return path;
}

std::string MakeOutputPath(TIniStore& settings, TDialogService& dialogs,
                           const std::string& sourceName, const std::string& suffix) {
    return MakeOutputPath(settings, dialogs, sourceName, suffix, DefaultOutputFolder());
}

} // namespace quovo
