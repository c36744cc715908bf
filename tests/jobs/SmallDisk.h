// A tmpfs of a few kilobytes mounted for one test, to fill a disk for real. Mounting needs root:
// elsewhere Mounted() is false and the test skips.
#pragma once

#include <filesystem>
#include <string>

#include <sys/mount.h>
#include <unistd.h>

namespace quovo::test {

class TSmallDisk {
public:
    explicit TSmallDisk(const std::string& folder, const char* size = "size=96k")
        : folder_(folder) {
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        mounted_ = ::geteuid() == 0 && ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, size) == 0;
    }
    ~TSmallDisk() {
        if (mounted_) {
            ::umount2(folder_.c_str(), MNT_DETACH);
        }
    }
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;

    bool Mounted() const { return mounted_; }
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    bool Empty() const { return std::filesystem::is_empty(folder_); }

private:
    std::string folder_;
    bool mounted_ = false;
};

} // namespace quovo::test
