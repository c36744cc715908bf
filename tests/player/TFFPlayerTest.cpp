#include "PlayerTestSupport.h"
#include "TFFmpegLoader.h"

#include <atomic>
#include <cstring>
#include <future>
#include <stdexcept>
#include <thread>

namespace quovo {
namespace {

using namespace playertest;
using namespace std::chrono_literals;

// A Matroska file with one SubRip cue and nothing else: streams, but none to play.
std::string TextOnlyClip() {
    const std::string path = fixtures::FixtureDir() + "/player-text-only.mkv";
    AVFormatContext* raw = nullptr;
    avformat_alloc_output_context2(&raw, nullptr, "matroska", path.c_str());
    AvFormatContextPtr oc(raw);
    AVStream* st = avformat_new_stream(oc.get(), nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    st->codecpar->codec_id = AV_CODEC_ID_SUBRIP;
    st->time_base = {1, 1000};
    EXPECT_GE(avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    EXPECT_GE(avformat_write_header(oc.get(), nullptr), 0);
    AvPacketPtr pkt = MakePacket();
    static const char text[] = "only words";
    av_new_packet(pkt.get(), sizeof(text) - 1);
    std::memcpy(pkt->data, text, sizeof(text) - 1);
    pkt->pts = pkt->dts = 0;
    pkt->duration = 1000;
    pkt->stream_index = 0;
    EXPECT_GE(av_interleaved_write_frame(oc.get(), pkt.get()), 0);
    EXPECT_GE(av_write_trailer(oc.get()), 0);
    avio_closep(&oc->pb);
    return path;
}

class TFFPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(player.LoadLibraries("")) << player.LastError();
        player.AudioDriver = adDummy;
    }
    TFFPlayer player;
};

TEST_F(TFFPlayerTest, OpenRaisesFileOpenBeforeReturningAndPlayIsTheFirstState) {
    TEventLog log(player);
    bool fileOpenSeen = false;
    int64_t positionAtFileOpen = 0;
    int64_t duration = 0;
    int fw = 0, fh = 0;
    player.SetOnFileOpen([&](TCustomPlayer* p, int64_t d, int w, int h, int& sw, int& sh) {
        fileOpenSeen = true;
        EXPECT_TRUE(IsMainThread());
        positionAtFileOpen = p->Position();
        duration = d;
        fw = w;
        fh = h;
        sw = 160;
        sh = 120;
    });
    ASSERT_TRUE(player.Open(PictureClip(), nullptr)) << player.LastError();
    EXPECT_TRUE(fileOpenSeen);
    EXPECT_EQ(positionAtFileOpen, -1);
    EXPECT_NEAR(duration, 2000000, 100000);
    EXPECT_EQ(fw, 320);
    EXPECT_EQ(fh, 240);
    EXPECT_EQ(player.ScreenWidth(), 160);
    ASSERT_TRUE(WaitUntil([&] { return !log.Positions().empty(); }));
    EXPECT_GE(player.Position(), 0);
    ASSERT_FALSE(log.States().empty());
    EXPECT_EQ(log.States().front(), psPlay);
    player.Stop(true);
    EXPECT_EQ(player.Position(), -1);
    EXPECT_EQ(log.States().back(), psStop);
}

TEST_F(TFFPlayerTest, PauseAndResumePostOnlyTheFirstOfTwoCalls) {
    TEventLog log(player);
    ASSERT_TRUE(player.Open(PictureClip(), nullptr));
    ASSERT_TRUE(log.WaitFor(psPlay));
    player.Pause();
    player.Pause();
    EXPECT_TRUE(player.Paused());
    ASSERT_TRUE(log.WaitFor(psPause));
    player.Resume();
    player.Resume();
    EXPECT_FALSE(player.Paused());
    ASSERT_TRUE(log.WaitFor(psResume));
    WaitUntil([] { return false; }, 0.2);
    EXPECT_EQ(log.Count(psPause), 1);
    EXPECT_EQ(log.Count(psResume), 1);
    player.Stop(true);
}

TEST_F(TFFPlayerTest, PositionStandsStillWhilePaused) {
    TEventLog log(player);
    ASSERT_TRUE(player.Open(PictureClip(), nullptr));
    ASSERT_TRUE(WaitUntil([&] { return player.Position() > 300000; }));
    player.Pause();
    WaitUntil([] { return false; }, 0.1);
    const int64_t held = player.Position();
    WaitUntil([] { return false; }, 0.4);
    EXPECT_EQ(player.Position(), held);
    player.Resume();
    ASSERT_TRUE(WaitUntil([&] { return player.Position() > held + 100000; }));
    player.Stop(true);
}

TEST_F(TFFPlayerTest, EndIsPostedOnceAndASeekRearmsIt) {
    struct Case {
        const char* name;
        std::string clip;
    };
    for (const Case& c : {Case{"pictures", PictureClip()}, Case{"sound only", SoundClip()}}) {
        SCOPED_TRACE(c.name);
        TEventLog log(player);
        ASSERT_TRUE(player.Open(c.clip, nullptr));
        ASSERT_TRUE(log.WaitFor(psEnd, 1, 10));
        WaitUntil([] { return false; }, 0.5);
        EXPECT_EQ(log.Count(psEnd), 1);
        EXPECT_NEAR(player.Position(), 2000000, 150000);
        player.Seek(0, true, 1500000);
        ASSERT_TRUE(log.WaitFor(psEnd, 2, 10));
        player.Stop(true);
    }
}

TEST_F(TFFPlayerTest, SeekPastTheEndGoesToTheEndAndSeekToZeroToTheStart) {
    TEventLog log(player);
    ASSERT_TRUE(player.Open(PictureClip(), nullptr));
    ASSERT_TRUE(WaitUntil([&] { return player.Position() > 1000000; }));
    const size_t posted = log.Positions().size();
    player.Seek(0, true, 0);
    // Pictures queued before the seek may still post their positions; then the start follows.
    EXPECT_TRUE(WaitUntil([&] {
        const std::vector<int64_t> p = log.Positions();
        return std::any_of(p.begin() + posted, p.end(), [](int64_t x) { return x < 500000; });
    })) << "position "
        << player.Position();

    player.Seek(0, true, 60000000);
    ASSERT_TRUE(log.WaitFor(psEnd));
    // The end of input comes first; the last pictures are still shown after it.
    ASSERT_TRUE(WaitUntil([&] { return player.Position() >= 1900000; }))
        << "position " << player.Position();
    EXPECT_LE(player.Position(), 2100000);
    player.Stop(true);
}

// The frame number the test pattern carries in the picture on display.
int NumberOnDisplay(TPicture& frame) {
    std::vector<uint8_t> luma(static_cast<size_t>(frame.Width()) * frame.Height());
    for (int y = 0; y < frame.Height(); ++y) {
        for (int x = 0; x < frame.Width(); ++x) {
            luma[static_cast<size_t>(y) * frame.Width() + x] = frame.ScanLine(y)[x * 3 + 1];
        }
    }
    return fixtures::ReadFrameNumberFromLuma(luma.data(), frame.Width(), frame.Width(),
                                             frame.Height());
}

// The decoder is slowed down after the pause, as on a loaded machine: the picture a paused seek
// decodes comes long after the seek, and is still the one shown.
TEST_F(TFFPlayerTest, ASeekWhilePausedShowsThePictureAtTheNewPosition) {
    std::atomic<bool> slow{false};
    player.SetHook(true);
    player.SetOnHook([&](TCustomPlayer*, TPicture*, int64_t) {
        if (slow) {
            std::this_thread::sleep_for(700ms);
        }
    });
    ASSERT_TRUE(player.Open(PictureClip(), nullptr));
    ASSERT_TRUE(WaitUntil([&] { return player.Position() > 300000; }));
    player.Pause();
    slow = true;
    struct Case {
        const char* name;
        int64_t target;
        int64_t low, high; // where the key picture it lands on may be (us)
    };
    for (const Case& c :
         {Case{"forward", 1100000, 900000, 1500000}, Case{"back to the start", 0, 0, 100000}}) {
        SCOPED_TRACE(c.name);
        player.Seek(0, false, c.target);
        int64_t pts = -1;
        EXPECT_TRUE(WaitUntil(
            [&] {
                player.CurrentFrame(pts);
                return pts >= c.low && pts <= c.high;
            },
            20))
            << "shown " << pts;
        EXPECT_NEAR(NumberOnDisplay(player.CurrentFrame(pts)), pts / 40000, 1);
        // The position is the picture's.
        EXPECT_TRUE(WaitUntil([&] { return player.Position() == pts; }, 20))
            << player.Position() << " for a picture at " << pts;
        EXPECT_TRUE(player.Paused());
    }
    slow = false;
    player.Stop(true);
}

// The picture hook holds the decoder until the stop has returned: a stop that waited for the
// threads would never come back while the hook blocks.
TEST_F(TFFPlayerTest, StopWithoutWaitingReturnsAtOnceAndStopFollows) {
    TEventLog log(player);
    std::promise<void> entered;
    std::atomic<bool> signalled{false};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    player.SetHook(true);
    player.SetOnHook([&](TCustomPlayer*, TPicture*, int64_t) {
        if (!signalled.exchange(true)) {
            entered.set_value();
            released.wait();
        }
    });
    ASSERT_TRUE(player.Open(PictureClip(), nullptr));
    ASSERT_EQ(entered.get_future().wait_for(20s), std::future_status::ready);
    auto stop = std::async(std::launch::async, [&] { player.Stop(false); });
    const bool returned = stop.wait_for(20s) == std::future_status::ready;
    release.set_value();
    stop.wait();
    EXPECT_TRUE(returned) << "Stop(false) waited for the blocked decoder";
    ASSERT_TRUE(log.WaitFor(psStop));
    EXPECT_FALSE(player.IsOpen());
    EXPECT_TRUE(player.Paused());
}

TEST_F(TFFPlayerTest, InputsThatCannotPlayFailWithTheirReason) {
    const std::string noStreams = TextOnlyClip();
    const std::string missing = fixtures::FixtureDir() + "/player-missing.mkv";
    struct Case {
        std::string url;
        std::string error;
    };
    for (const Case& c :
         {Case{noStreams, noStreams + ": could not open codecs, no stream to play."},
          Case{missing, missing + ": No such file or directory"}}) {
        SCOPED_TRACE(c.url);
        TEventLog log(player);
        EXPECT_FALSE(player.Open(c.url, nullptr));
        EXPECT_EQ(player.LastError(), c.error);
        EXPECT_FALSE(player.IsOpen());
        EXPECT_TRUE(log.States().empty());
    }
}

// A sound-only title drawn into a 200 x 100 display: the last picture the player showed.
struct TSoundDisplayCapture {
    std::mutex lock;
    std::vector<uint8_t> lastShown;

    explicit TSoundDisplayCapture(TFFPlayer& player) {
        player.OnPictureShown = [this](const TOutputImage& image, double, int64_t) {
            std::lock_guard g(lock);
            lastShown = image.pixels;
        };
    }
    // Runs the check on a whole display, under the lock.
    template <class Check> bool Shown(Check check) {
        std::lock_guard g(lock);
        return lastShown.size() == 200u * 100 * 4 && check(lastShown);
    }
};

TEST_F(TFFPlayerTest, SoundOnlyTitleHasNoPictureSizeAndShowsTheWaveform) {
    int fw = 0, fh = 0;
    player.SetOnFileOpen([&](TCustomPlayer*, int64_t, int w, int h, int& sw, int& sh) {
        fw = w;
        fh = h;
        sw = 200;
        sh = 100;
    });
    TSoundDisplayCapture display(player);
    ASSERT_TRUE(player.Open(SoundClip(), nullptr));
    EXPECT_EQ(fw, -1);
    EXPECT_EQ(fh, -1);
    int64_t pts = 0;
    TPicture& frame = player.CurrentFrame(pts);
    EXPECT_EQ(frame.Width(), 0);
    EXPECT_EQ(frame.Height(), 0);
    EXPECT_EQ(pts, -1);
    // A stereo 440 Hz tone: white samples above and below each band's centre line, and the
    // blue line between the two bands.
    ASSERT_TRUE(WaitUntil([&] {
        return display.Shown([](const std::vector<uint8_t>& lastShown) {
            auto white = [&](int top, int bottom) {
                int n = 0;
                for (size_t i = top * 200u * 4; i < bottom * 200u * 4; i += 4) {
                    n += lastShown[i] == 255 && lastShown[i + 1] == 255 && lastShown[i + 2] == 255;
                }
                return n;
            };
            const uint8_t* line = lastShown.data() + 50 * 200 * 4 + 100 * 4;
            const bool blue = line[0] == 255 && line[1] == 0 && line[2] == 0;
            return white(0, 25) > 50 && white(25, 50) > 50 && white(50, 75) > 50 &&
                   white(75, 100) > 50 && blue;
        });
    }));
    player.Stop(true);
}

// The spectrum mode draws a column per refresh: the tone's frequency lights the same row in
// every column drawn, in both channels alike (red and green).
TEST_F(TFFPlayerTest, SoundOnlyTitleShowsItsSpectrumWhenAsked) {
    player.AudioDisplayMode = 2;
    player.SetOnFileOpen([](TCustomPlayer*, int64_t, int, int, int& sw, int& sh) {
        sw = 200;
        sh = 100;
    });
    TSoundDisplayCapture display(player);
    ASSERT_TRUE(player.Open(SoundClip(), nullptr));
    int columns = 0;
    EXPECT_TRUE(WaitUntil([&] {
        return display.Shown([&](const std::vector<uint8_t>& lastShown) {
            columns = 0;
            int firstRow = -1;
            for (int x = 0; x < 200; ++x) {
                int peak = 0, row = -1;
                for (int y = 0; y < 100; ++y) {
                    const uint8_t* p = lastShown.data() + (y * 200 + x) * 4;
                    if (p[2] > peak) {
                        peak = p[2];
                        row = y;
                    }
                }
                const uint8_t* p = lastShown.data() + (row * 200 + x) * 4;
                if (peak > 40 && p[1] == p[2]) {
                    firstRow = firstRow < 0 ? row : firstRow;
                    columns += std::abs(row - firstRow) <= 1;
                }
            }
            return columns >= 5;
        });
    })) << columns
        << " columns drawn";
    player.Stop(true);
}

TEST_F(TFFPlayerTest, AHookThatRaisesLeavesThatPictureUneditedAndLaterOnesPass) {
    std::atomic<int> calls{0};
    std::atomic<int64_t> raisedAt{-2};
    player.FrameDrop = 0;
    player.SetHook(true);
    player.SetOnHook([&](TCustomPlayer*, TPicture* picture, int64_t pts) {
        EXPECT_FALSE(IsMainThread());
        if (++calls == 3) {
            raisedAt = pts;
            throw std::runtime_error("drawing failed");
        }
        std::memset(picture->Bits(), 255,
                    static_cast<size_t>(picture->Stride()) * picture->Height());
    });
    std::mutex lock;
    std::vector<std::pair<int64_t, bool>> shown; // pts, all white
    player.OnPictureShown = [&](const TOutputImage& image, double pts, int64_t) {
        bool white = true;
        for (size_t i = 0; i < image.pixels.size() && white; i += 4) {
            white = image.pixels[i] > 240 && image.pixels[i + 1] > 240 && image.pixels[i + 2] > 240;
        }
        std::lock_guard g(lock);
        shown.emplace_back(std::llround(pts * 1e6), white);
    };
    ASSERT_TRUE(player.Open(PictureClip(), nullptr));
    ASSERT_TRUE(WaitUntil([&] { return calls > 8; }));
    player.Stop(true);
    std::lock_guard g(lock);
    int edited = 0, unedited = 0;
    for (const auto& [pts, white] : shown) {
        if (pts == raisedAt) {
            EXPECT_FALSE(white);
            ++unedited;
        } else {
            edited += white;
        }
    }
    EXPECT_EQ(unedited, 1);
    EXPECT_GT(edited, 4);
}

TEST_F(TFFPlayerTest, CurrentFrameIsThePictureOnDisplay) {
    player.FrameDrop = 0;
    TEventLog log(player);
    ASSERT_TRUE(player.Open(PictureClip(), nullptr, true));
    ASSERT_TRUE(log.WaitFor(psPause)); // the start step ends paused
    int64_t pts = -5;
    ASSERT_TRUE(WaitUntil([&] {
        player.CurrentFrame(pts);
        return pts >= 0;
    }));
    TPicture& frame = player.CurrentFrame(pts);
    EXPECT_EQ(frame.Width(), 320);
    EXPECT_EQ(frame.Height(), 240);
    EXPECT_GE(pts, 0);
    // The pattern's frame number, read from the green channel of the BGR picture.
    EXPECT_NEAR(NumberOnDisplay(frame), pts / 40000, 1);
    player.Stop(true);
}

TEST_F(TFFPlayerTest, OpeningInASecondPlayerStopsTheFirst) {
    TEventLog first(player);
    ASSERT_TRUE(player.Open(PictureClip(), nullptr));
    ASSERT_TRUE(first.WaitFor(psPlay));
    TFFPlayer second;
    second.AudioDriver = adDummy;
    TEventLog log(second);
    ASSERT_TRUE(second.Open(SoundClip(), nullptr));
    EXPECT_FALSE(player.IsOpen());
    EXPECT_EQ(first.States().back(), psStop);
    ASSERT_TRUE(log.WaitFor(psPlay));
    second.Stop(true);
}

TEST_F(TFFPlayerTest, LibrariesNotLoadedRefuseToOpen) {
    FFLoader().UnloadLibraries(PlayerLibraryMask);
    EXPECT_FALSE(player.Open(PictureClip(), nullptr));
    EXPECT_EQ(player.LastError(), "libav or libsdl not loaded.");
    ASSERT_TRUE(player.LoadLibraries(""));
}

} // namespace
} // namespace quovo
