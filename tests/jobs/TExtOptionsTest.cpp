// Parsing of the extra option lines and the defaults list of an output.
#include "TExtOptions.h"

#include <gtest/gtest.h>

using namespace quovo;

TEST(ExtOptionsTest, LinesSplitOnBreaksAndCrlfMarks) {
    const TOptionLines lines =
        ParseExtOptions("  NewAudio<CRLF>acodec=mp2\r\nmetadata=a=b\nflag\r  \n");
    const TOptionLines expected = {
        {"newaudio", ""}, {"acodec", "mp2"}, {"metadata", "a=b"}, {"flag", ""}};
    EXPECT_EQ(lines, expected);
}

TEST(ExtOptionsTest, WhichLinesGoStraightToTheEngine) {
    for (const char* name : {"newaudio", "newvideo", "newsubtitle", "apre", "vpre", "spre",
                             "vfilters", "vf"}) {
        EXPECT_FALSE(IsDirectExtOption(name, true)) << name;
        EXPECT_FALSE(IsDirectExtOption(name, false)) << name;
    }
    for (const char* name : {"acodec", "vcodec", "scodec", "s"}) {
        EXPECT_TRUE(IsDirectExtOption(name, true)) << name;
        EXPECT_FALSE(IsDirectExtOption(name, false)) << name;
    }
    EXPECT_TRUE(IsDirectExtOption("ab", false));
}

TEST(ExtOptionsTest, DefaultsListTakesRecordFirstThenLinesInOrder) {
    TOutputDefaults d("", "mpeg4", "", "", "", "", "", "",
                      ParseExtOptions("acodec=mp2\nacodec=aac\nvcodec=libx264\nvfilters=hflip\n"
                                      "newaudio\ns="));
    EXPECT_EQ(d.Default("acodec"), "mp2");   // first line, the record had none
    EXPECT_EQ(d.Default("vcodec"), "mpeg4"); // the record wins
    EXPECT_EQ(d.Default("vf"), "hflip");     // vfilters is read as vf
    EXPECT_EQ(d.Default("s"), "");           // an empty value creates nothing
    // Extra streams take the remaining entries in order, then the default.
    EXPECT_EQ(d.Take("acodec"), "mp2");
    EXPECT_EQ(d.Take("acodec"), "aac");
    EXPECT_EQ(d.Take("acodec"), "mp2");
    EXPECT_EQ(d.Take("vcodec"), "libx264");
    EXPECT_EQ(d.Take("vcodec"), "mpeg4");
}
