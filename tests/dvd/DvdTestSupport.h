// Shared pieces of the DVD tests: the test disc, the loaded plug-in, scratch folders.
#pragma once

#include "DVDPlugIn.h"
#include "DvdDisc.h"
#include "Fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quovo::dvdtest {

inline const fixtures::DvdDisc& Disc() {
    return fixtures::TestDvdDisc(QUOVO_DVD_DISC_CACHE);
}

inline void LoadPlugin() {
    ASSERT_TRUE(LoadDVDPlugin(QUOVO_DVD_PLUGIN_FOLDER)) << DVDPluginError();
}

// A fresh folder under the fixture folder of this process.
inline std::string ScratchDir(const std::string& name) {
    const std::string dir = fixtures::FixtureDir() + "/" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// A copy of the test disc's folder (VIDEO_TS inside) to damage.
inline std::string CopyDiscFolder(const std::string& name) {
    const std::string dir = ScratchDir(name);
    std::filesystem::copy(Disc().folder, dir, std::filesystem::copy_options::recursive);
    return dir;
}

} // namespace quovo::dvdtest
