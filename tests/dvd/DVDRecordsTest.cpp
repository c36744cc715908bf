// The records and names the plug-in and its callers share, byte for byte.
#include "DVDName.h"
#include "DVDPlugIn.h"
#include "DVDTypes.h"
#include "DvdTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>

using namespace quovo;

namespace {

template <typename T> void Put(std::array<uint8_t, 3960>& raw, size_t offset, T value) {
    std::memcpy(raw.data() + offset, &value, sizeof value);
}

} // namespace

// A block filled by offsets (as another plug-in would write it) read through the record: every
// entry of a full title comes from its own place, and the chapter count follows the last
// subtitle entry.
TEST(DVDTitleInfo, FullTitleIsReadFromItsOffsets) {
    std::array<uint8_t, 3960> raw{};
    Put(raw, 0, 7384.9);
    Put<int32_t>(raw, 8, 2);
    Put<int32_t>(raw, 16, 720);
    Put<int32_t>(raw, 20, 576);
    Put<int32_t>(raw, 32, 8);
    for (int a = 0; a < 8; ++a) {
        const size_t at = 36 + a * 84;
        Put<int32_t>(raw, at + 4, 0x80 + a);
        const std::string lang = "audio-" + std::to_string(a);
        std::memcpy(raw.data() + at + 20, lang.data(), lang.size());
    }
    Put<int32_t>(raw, 708, 32);
    for (int s = 0; s < 32; ++s) {
        const size_t at = 712 + s * 76;
        Put<int32_t>(raw, at + 4, 0x20 + s);
        const std::string lang = "sub-" + std::to_string(s);
        std::memcpy(raw.data() + at + 12, lang.data(), lang.size());
    }
    // The last subtitle's language is 64 bytes without a zero.
    std::memset(raw.data() + 712 + 31 * 76 + 12, 'x', 64);
    Put<int32_t>(raw, 3144, 12);

    DVDTitleInfo info;
    std::memcpy(&info, raw.data(), sizeof info);
    EXPECT_DOUBLE_EQ(info.Duration, 7384.9);
    EXPECT_EQ(info.VideoFormat, 2);
    EXPECT_EQ(info.Width, 720);
    EXPECT_EQ(info.Height, 576);
    ASSERT_EQ(info.AudioCount, 8);
    for (int a = 0; a < 8; ++a) {
        EXPECT_EQ(info.Audio[a].StreamID, 0x80 + a);
        EXPECT_EQ(DVDText(info.Audio[a].Language), "audio-" + std::to_string(a));
    }
    ASSERT_EQ(info.SubtitleCount, 32);
    for (int s = 0; s < 31; ++s) {
        EXPECT_EQ(info.Subtitles[s].StreamID, 0x20 + s);
        EXPECT_EQ(DVDText(info.Subtitles[s].Language), "sub-" + std::to_string(s));
    }
    EXPECT_EQ(info.Subtitles[31].StreamID, 0x20 + 31);
    EXPECT_EQ(DVDText(info.Subtitles[31].Language), std::string(64, 'x'));
    EXPECT_EQ(info.ChapterCount, 12);

    // And back: the record written by our plug-in lands on the same bytes.
    std::array<uint8_t, 3960> again{};
    std::memcpy(again.data(), &info, sizeof info);
    EXPECT_EQ(again, raw);
}

TEST(DVDPlayParams, SevenValuesInOrder) {
    const DVDPlayParams p{1, 2, 3, 4, 5, 6, 7};
    int32_t v[7];
    std::memcpy(v, &p, sizeof v);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(v[i], i + 1);
    }
}

TEST(DVDPlugIn, StreamKindNames) {
    const std::pair<int, const char*> cases[] = {
        {0, "Unknown"}, {1, "MPEG-1"}, {2, "MPEG-2"}, {3, "MPA"},     {4, "AC3"},
        {5, "DTS"},     {6, "LPCM"},   {7, "SUB"},    {8, "Unknown"}, {-1, "Unknown"}};
    for (const auto& [code, name] : cases) {
        EXPECT_EQ(StreamKindName(code), name) << code;
    }
}

TEST(OpenDVDName, ParsesAndFormats) {
    const DVDPlayParams p{0, 1, 12, 128, 32, 2, 0};
    const std::string name = FormatOpenDVDName("/dev/sr0", p);
    EXPECT_EQ(name, "opendvd:/dev/sr0|Title=1,FromChapter=1,ToChapter=12,AudioID=128,"
                    "SubtitleID=32,AudioChannels=2,Deinterlace=0");
    TOpenDVDName parsed;
    ASSERT_TRUE(ParseOpenDVDName(name, parsed));
    EXPECT_EQ(parsed.path, "/dev/sr0");
    EXPECT_TRUE(parsed.hasParams);
    EXPECT_EQ(std::memcmp(&parsed.params, &p, sizeof p), 0);

    ASSERT_TRUE(ParseOpenDVDName("opendvd:/media/a|b disc", parsed));
    EXPECT_EQ(parsed.path, "/media/a|b disc");
    EXPECT_FALSE(parsed.hasParams);

    ASSERT_TRUE(ParseOpenDVDName("opendvd:/x|y|Title=3,FromChapter=0,ToChapter=99", parsed));
    EXPECT_EQ(parsed.path, "/x|y");
    EXPECT_EQ(parsed.params.Title, 2);
    EXPECT_EQ(parsed.params.ToChapter, 99);

    for (const char* bad :
         {"opendvd:", "file:/x|Title=1", "opendvd:/x|Title=one", "opendvd:/x|Title=0",
          "opendvd:/x|Title=1,Colour=2", "opendvd:/x|Title=1,AudioID", "opendvd:|Title=1"}) {
        EXPECT_FALSE(ParseOpenDVDName(bad, parsed)) << bad;
    }
}

TEST(OpenDVDName, ChannelsAndDeinterlaceBecomeInputOptions) {
    using Options = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(OpenDVDInputOptions("opendvd:/d|Title=1,AudioChannels=2,Deinterlace=0"),
              (Options{{"ac", "2"}}));
    EXPECT_EQ(OpenDVDInputOptions("opendvd:/d|Title=1,AudioChannels=6,Deinterlace=1"),
              (Options{{"ac", "6"}, {"deinterlace", "1"}}));
    EXPECT_TRUE(OpenDVDInputOptions("opendvd:/d").empty());
    EXPECT_TRUE(OpenDVDInputOptions("/d/movie.mpg").empty());
}

// Runs before any test of this process loads the plug-in (ctest runs each test alone).
TEST(DVDPlugIn, WrappersRefuseBeforeLoadingAndLoadingReportsWhy) {
    if (DVDPluginLoaded()) {
        GTEST_SKIP() << "the plug-in was loaded by an earlier test of this process";
    }
    DVDTitleInfo info;
    const DVDPlayParams params{};
    auto expectNotLoaded = [](auto call) {
        try {
            call();
            ADD_FAILURE() << "no error";
        } catch (const DVDPluginException& e) {
            EXPECT_STREQ(e.what(), "DVD plug-in library is not loaded.");
        }
    };
    expectNotLoaded([] { EnumDVDTitles("/dev/sr0"); });
    expectNotLoaded([&] { GetDVDTitle(0, info); });
    expectNotLoaded([&] { SetDVDPlayParams(params); });

    EXPECT_FALSE(LoadDVDPlugin("/no/such/folder"));
    EXPECT_FALSE(DVDPluginLoaded());
    EXPECT_EQ(DVDPluginError().rfind("Load library /no/such/folder/dvdplugin.so error: ", 0), 0u)
        << DVDPluginError();

    // A library without the plug-in's exports.
    const std::string dir = dvdtest::ScratchDir("fake-plugin");
    std::filesystem::copy_file(QUOVO_TEST_FAKE_MODULE, dir + "/dvdplugin.so");
    EXPECT_FALSE(LoadDVDPlugin(dir));
    EXPECT_FALSE(DVDPluginLoaded());
    EXPECT_NE(DVDPluginError().find("Load function DVDInitialize@dvdplugin.so error"),
              std::string::npos)
        << DVDPluginError();

    ASSERT_TRUE(LoadDVDPlugin(QUOVO_DVD_PLUGIN_FOLDER)) << DVDPluginError();
    EXPECT_TRUE(DVDPluginLoaded());
    EXPECT_TRUE(LoadDVDPlugin("/no/such/folder")); // already loaded
}
