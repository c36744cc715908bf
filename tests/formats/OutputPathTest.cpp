#include "OutputPath.h"

#include "FormatsTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;

class OutputPathTest : public ::testing::Test {
protected:
    TScratchFolder dir_;
    TIniStore settings_{dir_ / "quovo.ini"};
    TRecordingDialogs dialogs_;
    std::string default_ = dir_ / "Videos/videoconverter";

    std::string Make(const std::string& source, const std::string& suffix) {
        return MakeOutputPath(settings_, dialogs_, source, suffix, default_);
    }
    void Touch(const std::string& path) { std::ofstream(path) << "x"; }
};

TEST_F(OutputPathTest, NewAndNumberedNames) {
    const std::string out = dir_ / "out";
    settings_.WriteString("settings", "OutPutDir", out);
    EXPECT_EQ(Make("/media/dvd/movie.avi", ".mp4"), out + "/movie_(new).mp4");
    EXPECT_TRUE(fs::is_directory(out)) << "the folder is created";
    Touch(out + "/movie_(new).mp4");
    EXPECT_EQ(Make("/media/dvd/movie.avi", ".mp4"), out + "/movie_(new_1).mp4");
    Touch(out + "/movie_(new_1).mp4");
    EXPECT_EQ(Make("movie.avi", ".mp4"), out + "/movie_(new_2).mp4");
    // Any kind of entry takes the name: a folder, a dangling link.
    fs::create_directory(out + "/movie_(new_2).mp4");
    fs::create_symlink(out + "/nowhere", out + "/movie_(new_3).mp4");
    EXPECT_EQ(Make("movie.avi", ".mp4"), out + "/movie_(new_4).mp4");
    // So does an output being written, or left partial, under its temporary name.
    Touch(out + "/movie_(new_4).mp4.part");
    EXPECT_EQ(Make("movie.avi", ".mp4"), out + "/movie_(new_5).mp4");
    EXPECT_TRUE(dialogs_.Messages.empty());

    // Only the last extension goes; a name without one stays whole; the row suffix form.
    EXPECT_EQ(Make("/a.b/clip.part.mkv", ".ts"), out + "/clip.part_(new).ts");
    EXPECT_EQ(Make("/a.b/clip", ".ts"), out + "/clip_(new).ts");
    EXPECT_EQ(Make("clip.mkv", "_ipod.mp4"), out + "/clip_(new)_ipod.mp4");
}

TEST_F(OutputPathTest, TrailingSlashIsNotDoubled) {
    settings_.WriteString("settings", "OutPutDir", dir_ / "out/");
    EXPECT_EQ(Make("movie.avi", ".mp4"), dir_ / "out/movie_(new).mp4");
}

TEST_F(OutputPathTest, WithoutSettingTheDefaultFolderIsUsed) {
    EXPECT_EQ(Make("movie.avi", ".mp4"), default_ + "/movie_(new).mp4");
    EXPECT_TRUE(fs::is_directory(default_));
    EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(OutputPathTest, AFolderThatCannotBeCreatedFallsBackToTheDefault) {
    // A regular file where a parent folder should be: creation fails whoever runs the test.
    Touch(dir_ / "blocker");
    const std::string bad = dir_ / "blocker/out";
    settings_.WriteString("settings", "OutPutDir", bad);
    EXPECT_EQ(Make("movie.avi", ".mp4"), default_ + "/movie_(new).mp4")
        << "this very path is built in the default folder";
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Title, "Warning");
    EXPECT_EQ(dialogs_.Messages[0].Text, "Cannot create output directory:" + bad +
                                             ".It will create default directory " + default_ + "!");
    EXPECT_EQ(dialogs_.Messages[0].Icon, TMessageIcon::Warning);
    EXPECT_EQ(settings_.ReadString("settings", "OutPutDir", ""), default_);
    EXPECT_EQ(Make("movie.avi", ".mp4"), default_ + "/movie_(new).mp4");
    EXPECT_EQ(dialogs_.Messages.size(), 1u) << "the next path is built without a message";

    // Neither folder can be made: no path at all rather than a path that cannot be written.
    settings_.WriteString("settings", "OutPutDir", bad);
    EXPECT_EQ(MakeOutputPath(settings_, dialogs_, "movie.avi", ".mp4", dir_ / "blocker/dflt"), "");
}

} // namespace
} // namespace quovo
