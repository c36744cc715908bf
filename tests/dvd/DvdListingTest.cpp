// quovo-convert --list-titles: what the import will show, read from the tool's output.
#include "DvdTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace quovo;
namespace fs = std::filesystem;

namespace {

std::string ListTitles(const std::string& disc, const std::string& name) {
    const std::string out = dvdtest::ScratchDir(name) + "/listing.txt";
    fixtures::RunTool({QUOVO_CONVERT_PATH, "--list-titles", disc}, "", out);
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ListTitles, ShowsEachTitleAndNamesTheInvalidOnes) {
    const std::string whole = ListTitles(dvdtest::Disc().iso, "list-iso");
    EXPECT_NE(whole.find("Title 1: 0:00:30 "), std::string::npos) << whole;
    EXPECT_NE(whole.find("720 x 576, MPEG-2, 4 chapter(s)"), std::string::npos) << whole;
    EXPECT_NE(whole.find("  audio 128  English (AC3, 2 ch)\n  audio 193  German (MPA, 2 ch)\n"
                         "  subtitle 32  English\n"),
              std::string::npos)
        << whole;
    EXPECT_NE(whole.find("Title 2: 0:00:10 "), std::string::npos) << whole;
    EXPECT_NE(whole.find("720 x 480, MPEG-2, 2 chapter(s)"), std::string::npos) << whole;

    const std::string damaged = dvdtest::CopyDiscFolder("list-damaged");
    fs::resize_file(damaged + "/VIDEO_TS/VTS_01_0.IFO", 64);
    fs::resize_file(damaged + "/VIDEO_TS/VTS_01_0.BUP", 64);
    const std::string partial = ListTitles(damaged, "list-damaged-out");
    EXPECT_NE(partial.find("Title #1 is invalid\nTitle 2: "), std::string::npos) << partial;
}

TEST(ListTitles, NotADvdEndsWithTheMessageAndFailure) {
    const std::string dir = dvdtest::ScratchDir("list-not-dvd");
    try {
        ListTitles(dir, "list-not-dvd-out");
        ADD_FAILURE() << "listing a folder without a disc succeeded";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("status 256"), std::string::npos) << e.what();
    }
    std::ifstream in(fixtures::FixtureDir() + "/list-not-dvd-out/listing.txt");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "No DVD title(s) found. Maybe not a valid DVD.");
}

} // namespace
