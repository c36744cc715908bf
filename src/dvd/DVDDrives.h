// The optical drives of the machine, as the Add DVD menu lists them: /sys/block/sr* with their
// device nodes, each with the volume label of the disc in it. The label is the volume id of the
// disc's ISO 9660 primary volume descriptor (every video DVD has one beside its UDF), read
// directly from the device without libdvdread.
#pragma once

#include <string>
#include <vector>

namespace quovo {

struct TOpticalDrive {
    std::string name;     // "sr0"
    std::string device;   // "/dev/sr0"
    bool hasDisc = false; // a volume descriptor could be read
    std::string label;    // trailing blanks removed; empty without a disc or label
    // What the menu entry shows: the device and ":" and the label ("/dev/sr0:MY_DISC").
    std::string Caption() const { return device + ":" + label; }
};

// Drives in the order of their numbers (sr0, sr1, … sr10). The folders are parameters so tests
// can point them at a fake tree.
std::vector<TOpticalDrive> ListOpticalDrives(const std::string& sysBlock = "/sys/block",
                                             const std::string& devDir = "/dev");

// The ISO 9660 volume id of a device or image; false when there is no readable descriptor.
bool ReadVolumeLabel(const std::string& path, std::string& label);

} // namespace quovo
