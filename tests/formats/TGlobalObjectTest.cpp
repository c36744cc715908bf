#include "TGlobalObject.h"

#include "FormatsTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;

TEST(GlobalObjectTest, PathsAndVersion) {
    EXPECT_EQ(MakeVersionText(3, 3, 0, 0), " 3.300 ");
    TScratchFolder dir;
    ::setenv("QUOVO_CONFIG_DIR", dir.Path().c_str(), 1);
    TGlobalObject global;
    ::unsetenv("QUOVO_CONFIG_DIR");
    EXPECT_EQ(global.SettingsFile, dir / "quovo.ini");
    EXPECT_EQ(global.AppTitle, "Quovo");
    EXPECT_EQ(global.VersionText, " 3.300 ");
    EXPECT_TRUE(fs::is_regular_file(global.FormatFile)) << global.FormatFile;
    EXPECT_EQ(fs::path(global.FormatFile).filename(), "quovoformat.ini");

    // An empty variable counts as unset: the per-user config folder, shared by every program.
    ::setenv("QUOVO_CONFIG_DIR", "", 1);
    const std::string folder = SettingsFolder();
    ::unsetenv("QUOVO_CONFIG_DIR");
    EXPECT_EQ(fs::path(folder).filename(), "quovo");
    EXPECT_EQ(folder, SettingsFolder());
}

} // namespace
} // namespace quovo
