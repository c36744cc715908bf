// Disc titles through "opendvd:": subpictures on the project's test disc, and the flash-and-beep
// synchronisation of a title authored here.
#include "AvSyncMeter.h"
#include "DVDPlugIn.h"
#include "DvdDisc.h"
#include "PlayerTestSupport.h"

#include <cstdio>
#include <filesystem>

namespace quovo {
namespace {

using namespace playertest;

class DvdPlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(player.LoadLibraries(""));
        ASSERT_TRUE(LoadDVDPlugin(QUOVO_DVD_PLUGIN_FOLDER)) << DVDPluginError();
        player.TriggerEventInMainThread = false;
        player.AudioDriver = adDummy;
        player.SetOnFileOpen([](TCustomPlayer*, int64_t, int, int, int& sw, int& sh) {
            sw = 360;
            sh = 288;
        });
    }
    TFFPlayer player;
};

// The test disc's subpicture is an opaque white bar across the middle half of the picture, from
// 60 to 30 rows above the bottom of the 576-row title.
bool SubtitleBarShown(const TOutputImage& image) {
    const int y = image.height * (576 - 45) / 576;
    for (int x = image.width * 2 / 5; x < image.width * 3 / 5; ++x) {
        const uint8_t* p = image.pixels.data() + static_cast<size_t>(y) * image.stride + x * 4;
        if (p[0] < 220 || p[1] < 220 || p[2] < 220) {
            return false;
        }
    }
    return true;
}

TEST_F(DvdPlaybackTest, SubpicturesAppearAndDisappearAtTheirTimes) {
    const fixtures::DvdDisc& disc = fixtures::TestDvdDisc(QUOVO_DVD_DISC_CACHE);
    std::mutex lock;
    std::vector<std::pair<double, bool>> shown; // pts, bar visible
    player.OnPictureShown = [&](const TOutputImage& image, double pts, int64_t) {
        std::lock_guard g(lock);
        shown.emplace_back(pts, SubtitleBarShown(image));
    };
    const std::string url =
        "opendvd:" + disc.folder + "|Title=1,AudioID=128,SubtitleID=32,AudioChannels=2";
    ASSERT_TRUE(player.Open(url, nullptr)) << player.LastError();
    ASSERT_TRUE(WaitUntil([&] { return player.Position() > 6200000; }, 20));
    player.Stop(true);
    std::lock_guard g(lock);
    ASSERT_FALSE(shown.empty());
    const double start = shown.front().first; // the title's first picture
    int before = 0, during = 0, after = 0, wrong = 0;
    for (const auto& [pts, bar] : shown) {
        const double t = pts - start;
        if (t < 0.9) {
            ++before;
            wrong += bar;
        } else if (t > 1.1 && t < 4.9) {
            ++during;
            wrong += !bar;
        } else if (t > 5.1 && t < 6.0) {
            ++after;
            wrong += bar;
        }
    }
    EXPECT_GT(before, 5);
    EXPECT_GT(during, 50);
    EXPECT_GT(after, 5);
    EXPECT_EQ(wrong, 0);
}

// A PAL title whose picture flashes and whose sound beeps at every whole second.
std::string FlashBeepDisc() {
    const std::string dir = fixtures::FixtureDir() + "/player-flashbeep-disc";
    if (std::filesystem::exists(dir + "/VIDEO_TS/VTS_01_1.VOB")) {
        return dir;
    }
    const std::string mpg = fixtures::FixtureDir() + "/player-flashbeep.mpg";
    fixtures::MakeMedia(mpg, PalFlashBeepSpec(5.0, 2000000));
    std::filesystem::remove_all(dir);
    setenv("VIDEO_FORMAT", "PAL", 1);
    fixtures::RunTool({"dvdauthor", "-o", dir, "-t", mpg});
    fixtures::RunTool({"dvdauthor", "-o", dir, "-T"});
    return dir;
}

TEST_F(DvdPlaybackTest, DiscTitleBeepsStayWithTheirFlashes) {
    const std::string disc = FlashBeepDisc();
    TAvSyncMeter meter(player);
    TEventLog log(player);
    ASSERT_TRUE(player.Open("opendvd:" + disc + "|Title=1,AudioID=128,SubtitleID=0", nullptr))
        << player.LastError();
    ASSERT_TRUE(log.WaitFor(psEnd, 1, 20));
    player.Stop(true);
    const TSyncFigures f = meter.Figures();
    std::printf("disc title: %s\n", Describe(f).c_str());
    EXPECT_GE(f.pairs + f.stalled, 3);
    EXPECT_LE(f.maxAbsMs, 80.0);
}

// A chapter range plays its chapters and stops where the next one begins, although the disc is
// read a little past it for the sound: the NTSC title's first chapter (4.8 s) shows the flashes of
// seconds 0 to 4, not those of the next chapter.
TEST_F(DvdPlaybackTest, ChapterRangeStopsWhereTheNextChapterBegins) {
    const std::string disc =
        fixtures::SyncDvdDisc(fixtures::FixtureDir() + "/player-sync-disc");
    TAvSyncMeter meter(player);
    TEventLog log(player);
    ASSERT_TRUE(player.Open("opendvd:" + disc +
                                "|Title=2,FromChapter=1,ToChapter=1,AudioID=128,SubtitleID=0",
                            nullptr))
        << player.LastError();
    ASSERT_TRUE(log.WaitFor(psEnd, 1, 20));
    player.Stop(true);
    const TSyncFigures f = meter.Figures();
    std::printf("chapter 1 of the NTSC title: %s\n", Describe(f).c_str());
    EXPECT_EQ(f.pairs + f.stalled, 5);
}

} // namespace
} // namespace quovo
