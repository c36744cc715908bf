#include "TAppSettings.h"

#include "FormatCatalogue.h"
#include "FormatsTestSupport.h"

#include <gtest/gtest.h>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;

TEST(AppSettingsTest, DefaultsAndReadingRules) {
    TScratchFolder dir;
    TIniStore ini(dir / "quovo.ini");
    TAppSettings s(ini, "/videos/videoconverter");
    // Without a settings file.
    EXPECT_EQ(s.OutputDir(), "/videos/videoconverter");
    EXPECT_EQ(s.SnapOutputDir(), "/videos/videoconverter");
    EXPECT_EQ(s.PreviewVolume(), 0);
    EXPECT_EQ(s.Mute(), false);
    EXPECT_EQ(s.FormatCode(), "1");
    EXPECT_EQ(s.FormatName(), FindFormat(1)->Name); // the format the code names
    EXPECT_TRUE(s.SnapFullSize() && s.SnapSmallSize() && s.SnapBmp() && s.SnapJpg());
    EXPECT_EQ(s.JpegQuality(), 30);
    EXPECT_EQ(s.Priority(), 1);
    EXPECT_EQ(s.SkinIndex(), 0);

    struct Case {
        const char* volume;
        int expected;
    } volumes[] = {{"200", 64}, {"-5", 64}, {"128", 128}, {"0", 0}, {"77", 77}, {"x", 0}};
    for (const Case& c : volumes) {
        ini.WriteString("settings", "volume", c.volume);
        EXPECT_EQ(s.PreviewVolume(), c.expected) << c.volume;
    }
    ini.WriteString("settings", "mute", "1");
    EXPECT_EQ(s.Mute(), true);
    ini.WriteString("settings", "mute", "2");
    EXPECT_EQ(s.Mute(), std::nullopt) << "any other value leaves the box as designed";
    ini.WriteString("settings", "snapBmp", "0");
    EXPECT_FALSE(s.SnapBmp());

    ASSERT_TRUE(s.SetFormat("HD MPEG2-TS Video (*.ts)", 2108));
    EXPECT_EQ(s.FormatCodeNumber(), 2108);
    EXPECT_EQ(ini.ReadString("settings", "FormatName", ""), "HD MPEG2-TS Video (*.ts)");
}

} // namespace
} // namespace quovo
