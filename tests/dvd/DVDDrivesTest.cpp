// Drive discovery on a fake /sys/block and /dev.
#include "DVDDrives.h"
#include "DvdTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace quovo;
namespace fs = std::filesystem;

TEST(OpticalDrives, ListsSrDevicesInOrderWithTheirDiscLabels) {
    const std::string root = dvdtest::ScratchDir("drives");
    const std::string sys = root + "/sys";
    const std::string dev = root + "/dev";
    for (const char* name : {"sda", "sr10", "sr1", "sr0", "loop0", "srx"}) {
        fs::create_directories(sys + "/" + name);
    }
    fs::create_directories(dev);
    fs::copy_file(dvdtest::Disc().iso, dev + "/sr1");      // a video DVD
    fixtures::MakeRandomFile(dev + "/sr10", 40 * 2048, 7); // a disc without a volume descriptor
    // sr0: the tray is empty (no device node to read)

    const std::vector<TOpticalDrive> drives = ListOpticalDrives(sys, dev);
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].device, dev + "/sr0");
    EXPECT_FALSE(drives[0].hasDisc);
    EXPECT_EQ(drives[0].Caption(), dev + "/sr0:");
    EXPECT_EQ(drives[1].device, dev + "/sr1");
    EXPECT_TRUE(drives[1].hasDisc);
    EXPECT_EQ(drives[1].label, fixtures::kDvdVolumeLabel);
    EXPECT_EQ(drives[1].Caption(), dev + "/sr1:" + fixtures::kDvdVolumeLabel);
    EXPECT_EQ(drives[2].name, "sr10");
    EXPECT_FALSE(drives[2].hasDisc);
    EXPECT_EQ(drives[2].label, "");
}

TEST(OpticalDrives, BlankVolumeIdGivesAnEmptyLabel) {
    const std::string dir = dvdtest::ScratchDir("blank-label");
    const std::string image = dir + "/disc.iso";
    fs::copy_file(dvdtest::Disc().iso, image);
    {
        std::fstream f(image, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(16 * 2048 + 40);
        f << std::string(32, ' ');
    }
    std::string label = "x";
    EXPECT_TRUE(ReadVolumeLabel(image, label));
    EXPECT_EQ(label, "");
}
