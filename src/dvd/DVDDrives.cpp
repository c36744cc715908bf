#include "DVDDrives.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

namespace quovo {

namespace fs = std::filesystem;

bool ReadVolumeLabel(const std::string& path, std::string& label) {
    label.clear();
    // O_NONBLOCK: an empty tray must not make us wait for the drive.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    unsigned char pvd[2048];
    const ssize_t n = pread(fd, pvd, sizeof pvd, 16 * 2048);
    close(fd);
    if (n != static_cast<ssize_t>(sizeof pvd) || pvd[0] != 1 ||
        std::memcmp(pvd + 1, "CD001", 5) != 0) {
        return false;
    }
    std::string id(reinterpret_cast<const char*>(pvd + 40), 32);
    const size_t end = id.find_last_not_of(std::string(" \0", 2));
    id = end == std::string::npos ? std::string() : id.substr(0, end + 1);
    // d-characters and a few more; anything else is not text.
    for (char& c : id) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
            c = '_';
        }
    }
    label = id;
    return true;
}

std::vector<TOpticalDrive> ListOpticalDrives(const std::string& sysBlock,
                                             const std::string& devDir) {
    std::vector<TOpticalDrive> drives;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sysBlock, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() < 3 || name.compare(0, 2, "sr") != 0 ||
            !std::all_of(name.begin() + 2, name.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        TOpticalDrive d;
        d.name = name;
        d.device = devDir + "/" + name;
        d.hasDisc = ReadVolumeLabel(d.device, d.label);
        drives.push_back(d);
    }
    std::sort(drives.begin(), drives.end(), [](const TOpticalDrive& a, const TOpticalDrive& b) {
        return std::stoi(a.name.substr(2)) < std::stoi(b.name.substr(2));
    });
    return drives;
}

} // namespace quovo
