#include "TMountTable.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quovo {

namespace fs = std::filesystem;

namespace {

std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.size() == 3 && digits.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool IsUnder(const std::string& path, const std::string& mountPoint) {
    if (mountPoint == "/") {
        return true;
    }
    return path == mountPoint ||
           (path.size() > mountPoint.size() &&
            path.compare(0, mountPoint.size(), mountPoint) == 0 && path[mountPoint.size()] == '/');
}

} // namespace

std::vector<TMountEntry> ParseMountTable(const std::string& text) {
    std::vector<TMountEntry> mounts;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string source, mountPoint;
        if (fields >> source >> mountPoint) {
            mounts.push_back({Unescape(source), Unescape(mountPoint)});
        }
    }
    return mounts;
}

TSystemMountTable::TSystemMountTable(std::string mountsFile, std::string sysBlock)
    : mountsFile_(std::move(mountsFile)), sysBlock_(std::move(sysBlock)) {}

std::vector<TMountEntry> TSystemMountTable::Mounts() const {
    std::ifstream in(mountsFile_);
    std::stringstream text;
    text << in.rdbuf();
    return ParseMountTable(text.str());
}

bool TSystemMountTable::IsOpticalDevice(const std::string& source) const {
    if (source.empty() || source[0] != '/') {
        return false; // proc, tmpfs, overlay …
    }
    std::error_code ec;
    fs::path device = fs::weakly_canonical(source, ec);
    if (ec) {
        device = source;
    }
    const std::string name = device.filename().string();
    return name.rfind("sr", 0) == 0 && fs::exists(fs::path(sysBlock_) / name, ec);
}

bool IsOnOpticalDisc(const std::string& folder, const TMountTable& mounts) {
    std::error_code ec;
    std::string path = fs::weakly_canonical(fs::absolute(folder, ec), ec).string();
    if (ec || path.empty()) {
        path = folder;
    }
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const TMountEntry* best = nullptr;
    std::vector<TMountEntry> table = mounts.Mounts();
    for (const TMountEntry& entry : table) {
        // Later lines win on equal mount points: they are mounted over the earlier ones.
        if (IsUnder(path, entry.MountPoint) &&
            (best == nullptr || entry.MountPoint.size() >= best->MountPoint.size())) {
            best = &entry;
        }
    }
    return best != nullptr && mounts.IsOpticalDevice(best->Source);
}

} // namespace quovo
