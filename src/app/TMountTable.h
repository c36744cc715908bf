// Which mounted file system a folder lies on, and whether that is a disc in an optical drive: the
// output folders must not be there. The table is read for each question (discs come and go).
#pragma once

#include <string>
#include <vector>

namespace quovo {

struct TMountEntry {
    std::string Source;     // "/dev/sr0"
    std::string MountPoint; // "/media/cdrom"
};

class TMountTable {
public:
    virtual ~TMountTable() = default;
    virtual std::vector<TMountEntry> Mounts() const = 0;
    // The source is an optical drive's device (after following links such as /dev/cdrom).
    virtual bool IsOpticalDevice(const std::string& source) const = 0;
};

// The system's table (/proc/self/mounts) and drives (/sys/block/sr*); the paths are parameters so
// tests can hand in their own files.
class TSystemMountTable : public TMountTable {
public:
    explicit TSystemMountTable(std::string mountsFile = "/proc/self/mounts",
                               std::string sysBlock = "/sys/block");
    std::vector<TMountEntry> Mounts() const override;
    bool IsOpticalDevice(const std::string& source) const override;

private:
    std::string mountsFile_;
    std::string sysBlock_;
};

// Lines of a mount table ("source mountpoint type options …"), with its octal escapes (\040 for a
// blank) decoded.
std::vector<TMountEntry> ParseMountTable(const std::string& text);

// The folder lies on the mount with the longest matching mount point; true when that mount's
// source is an optical drive.
bool IsOnOpticalDisc(const std::string& folder, const TMountTable& mounts);

} // namespace quovo
