#include "FormatRules.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace quovo {
namespace {

using Strings = std::vector<std::string>;

TEST(FormatRulesTest, ListSyntax) {
    EXPECT_FALSE(SplitFormatList("null").has_value());
    EXPECT_EQ(*SplitFormatList(""), Strings{});
    EXPECT_EQ(*SplitFormatList("320x240"), Strings{"320x240"});
    EXPECT_EQ(*SplitFormatList("320x240,640x480,"), (Strings{"320x240", "640x480", ""}));
    EXPECT_EQ(*SplitFormatList("a,,b"), (Strings{"a", "", "b"}));
    EXPECT_EQ(*SplitFormatList(" as source, 96"), (Strings{" as source", " 96"}));
    EXPECT_EQ(*SplitFormatList("NULL"), Strings{"NULL"}) << "only the exact word means no list";
}

TEST(FormatRulesTest, EncoderChannelZoomTables) {
    struct Case {
        const char* entry;
        const char* video;
        const char* audio;
    } cases[] = {
        {"mpeg-4", "mpeg4", nullptr},
        {"MPEG-4", "mpeg4", nullptr},
        {"xvid", "libxvid", nullptr},
        {"h264", "libx264", nullptr},
        {"H264", "libx264", nullptr},
        {"wmv3", "wmv3", nullptr},
        {"flv", "flv", nullptr},
        {"mp3", nullptr, "libmp3lame"},
        {"AAC", nullptr, "libfaac"},
        {"ac-3", nullptr, "ac3"},
        {"wma2", nullptr, "wmav2"},
        {"pcm_s16", nullptr, "pcm_s16le"},
        {"amr_nb", nullptr, "libopencore_amrnb"},
        {"ogg", nullptr, "libvorbis"},
        {"wav", nullptr, nullptr},
        {"mpeg4", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        auto v = VideoEncoderValue(c.entry);
        auto a = AudioEncoderValue(c.entry);
        EXPECT_EQ(v.value_or("<none>"), c.video ? c.video : "<none>") << c.entry;
        EXPECT_EQ(a.value_or("<none>"), c.audio ? c.audio : "<none>") << c.entry;
    }
    EXPECT_EQ(VideoEncoderEntries().size(), 27u);
    EXPECT_EQ(AudioEncoderEntries().size(), 15u);

    EXPECT_EQ(*ChannelValue("as source"), "as source");
    EXPECT_EQ(*ChannelValue("mono 1 channel"), "1");
    EXPECT_EQ(*ChannelValue("stereo 2 channels"), "2");
    EXPECT_FALSE(ChannelValue("Stereo 2 channels").has_value()) << "compared exactly";

    EXPECT_EQ(*ZoomValue(0), "full");
    EXPECT_EQ(*ZoomValue(1), "lbox");
    EXPECT_EQ(*ZoomValue(2), "pan");
    EXPECT_FALSE(ZoomValue(3).has_value());
    EXPECT_FALSE(ZoomValue(-1).has_value());
    EXPECT_EQ(ZoomIndex("center"), 3);
    EXPECT_EQ(ZoomIndex("Full"), -1);
}

TEST(FormatRulesTest, VolumeTable) {
    const int percents[] = {25, 50, 75, 100, 125, 150, 175, 200, 250, 300, 350, 400};
    const int values[] = {64, 128, 192, 256, 320, 384, 448, 512, 640, 768, 896, 1024};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(VolumeValue(std::to_string(percents[i]) + "%"), values[i]);
    }
    EXPECT_FALSE(VolumeValue("110%").has_value());
    EXPECT_FALSE(VolumeValue("0%").has_value());
    EXPECT_FALSE(VolumeValue("-50%").has_value());
    EXPECT_EQ(VolumeValue("1505"), 384) << "the last character is dropped, whatever it is";
    EXPECT_THROW(VolumeValue("loud%"), std::invalid_argument);
    EXPECT_THROW(VolumeValue("%"), std::invalid_argument);
    EXPECT_THROW(VolumeValue(""), std::invalid_argument);
}

TEST(FormatRulesTest, Numbers) {
    for (const char* s : {"0", "768", "-5", "+3"}) {
        EXPECT_TRUE(IsWholeNumber(s)) << s;
        EXPECT_TRUE(IsDecimalNumber(s)) << s;
    }
    for (const char* s : {"", " 1", "1 ", "1.0", "0x10", "12a", "99999999999"}) {
        EXPECT_FALSE(IsWholeNumber(s)) << s;
    }
    for (const char* s : {"12.2", ".5", "5.", "-1.5e2", "29.97"}) {
        EXPECT_TRUE(IsDecimalNumber(s)) << s;
    }
    for (const char* s : {"", ".", "nan", "inf", "1e", "1,5", "1.2.3", "as source"}) {
        EXPECT_FALSE(IsDecimalNumber(s)) << s;
    }
    EXPECT_TRUE(IsValidVideoBitRate("as source"));
    EXPECT_FALSE(IsValidVideoBitRate("As source"));
    EXPECT_FALSE(IsValidVideoBitRate(""));
    EXPECT_FALSE(IsValidVideoBitRate("12.5"));
    EXPECT_TRUE(IsValidAudioBitRate("12.5"));
    EXPECT_TRUE(IsValidSampleRate("44100"));
    EXPECT_FALSE(IsValidSampleRate("44.1"));
}

TEST(FormatRulesTest, KeyFilters) {
    EXPECT_TRUE(AcceptVideoSizeKey("", '-')) << "anything while the text is empty";
    EXPECT_TRUE(AcceptVideoSizeKey("", 'q'));
    EXPECT_TRUE(AcceptVideoSizeKey("32", '0'));
    EXPECT_TRUE(AcceptVideoSizeKey("320", 'x'));
    EXPECT_FALSE(AcceptVideoSizeKey("320x", 'x'));
    EXPECT_TRUE(AcceptVideoSizeKey("320x", kBackspace));
    EXPECT_FALSE(AcceptVideoSizeKey("320", 'X'));
    EXPECT_FALSE(AcceptVideoSizeKey("320", ' '));
    EXPECT_TRUE(AcceptNumericKey('7'));
    EXPECT_TRUE(AcceptNumericKey(kBackspace));
    EXPECT_FALSE(AcceptNumericKey('.'));
    EXPECT_FALSE(AcceptNumericKey('a'));
}

TEST(FormatRulesTest, FrameSizeValidation) {
    struct Case {
        const char* text;
        TVideoSizeCheck::TOutcome outcome;
        const char* stored;
    } cases[] = {
        {"320x240", TVideoSizeCheck::Store, "320x240"},
        {"as source", TVideoSizeCheck::Skip, "as source"},
        {"AS SOURCE", TVideoSizeCheck::Skip, "AS SOURCE"},
        {"321x240", TVideoSizeCheck::Corrected, "320x240"},
        {"0x0", TVideoSizeCheck::Corrected, "2x2"},
        {"-3x5", TVideoSizeCheck::Corrected, "-2x4"},
        {"1x1", TVideoSizeCheck::Corrected, "2x2"},
        {"-4x6", TVideoSizeCheck::Store, "-4x6"},
        {"640", TVideoSizeCheck::Invalid, "640"},
        {"640x", TVideoSizeCheck::Invalid, "640x"},
        {"x480", TVideoSizeCheck::Invalid, "x480"},
        {"axb", TVideoSizeCheck::Invalid, "axb"},
        {"1x2x4", TVideoSizeCheck::Invalid, "1x2x4"},
        {"", TVideoSizeCheck::Invalid, ""},
    };
    for (const Case& c : cases) {
        TVideoSizeCheck check = CheckVideoSize(c.text);
        EXPECT_EQ(check.Outcome, c.outcome) << c.text;
        EXPECT_EQ(check.Text, c.stored) << c.text;
    }
    EXPECT_EQ(CheckVideoSize("321x240").Message,
              "Frame Size must be a multiple of 2.\nThe correct value:320x240");
    EXPECT_EQ(CheckVideoSize("640").Message, "Frame Size is not a valid value!");
}

TEST(FormatRulesTest, TuningValuesQualify) {
    struct Case {
        const char* key;
        const char* value;
        bool copied;
    } cases[] = {
        {"paraBitExact", "true", true}, {"paraBitExact", "TRUE", true},
        {"paraBitExact", "1", false},   {"paraBitExact", "", false},
        {"paraCoder", "0", true},       {"paraCoder", "1", true},
        {"paraCoder", "-1", false},     {"paraGop", "0", false},
        {"paraGop", "250", true},       {"paraMaxBitrate", "768", true},
        {"paraLevel", "-3", false},     {"paraQscale", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QualifyTuningValue(c.key, c.value).has_value(), c.copied)
            << c.key << "=" << c.value;
    }
    EXPECT_THROW(QualifyTuningValue("paraGop", "many"), std::invalid_argument);
    EXPECT_THROW(QualifyTuningValue("paraCoder", "cabac"), std::invalid_argument);
}

} // namespace
} // namespace quovo
