// Stored choices of real catalogue formats converted through the option builder and the
// conversion component, where the choice decides what the output is.
#include "FormatCatalogue.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TFormatFileRun.h"
#include "TFormatParameterEditor.h"
#include "TGlobalObject.h"

#include "Fixtures.h"
#include "FormatsTestSupport.h"

#include <gtest/gtest.h>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;
namespace fx = fixtures;

class FormatChoicesConversionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FFLogger()->SetTriggerEventInMainThread(false);
        FFLogger()->SetLevelByName("quiet");
        ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    }

    // Converts `clip` to format `code`, its defaults changed by `choices`.
    TFormatRunResult Convert(int code, const std::string& clip,
                             const std::vector<std::pair<std::string, std::string>>& choices) {
        EnsureFormatSettings(settings_, formats_, code, dialogs_, "Quovo");
        settings_.WriteValues(FormatSection(code), choices);
        TFormatFileRun run(settings_, formats_, dialogs_, "Quovo");
        run.SetOutputFolder(dir_ / "out");
        return run.Convert(code, clip);
    }

    // 320x240 at 30 fps with 44.1 kHz stereo sound at 128 kb/s, 1 s: rates no DVD has. MP4 states
    // the sound's bit rate, Matroska does not.
    std::string Clip30(const std::string& ext = "mkv") {
        fx::MediaSpec spec;
        spec.width = 320;
        spec.height = 240;
        spec.frameRate = {30, 1};
        spec.durationS = 1.0;
        spec.audio[0].sampleRate = 44100;
        spec.audio[0].bitRate = 128000;
        const std::string clip = dir_ / ("clip30." + ext);
        fx::MakeMedia(clip, spec);
        return clip;
    }

    TScratchFolder dir_;
    TIniStore settings_{dir_ / "quovo.ini"};
    TIniStore formats_{FindFormatFile()};
    TRecordingDialogs dialogs_;
};

// The HD MPEG-2 formats are MPEG-2 with their own choices, not DVDs: "as source" keeps the
// source's frame rate, sample rate, sound bit rate and size.
TEST_F(FormatChoicesConversionTest, HdMpeg2KeepsTheSourcesRates) {
    const std::string clip = Clip30("mp4");
    for (int code : {2107, 2108}) {
        SCOPED_TRACE(code);
        for (const char* audio : {"ac3", "mp2"}) {
            SCOPED_TRACE(audio);
            TFormatRunResult result = Convert(code, clip,
                                              {{"paraVideoEncoder", "mpeg2video"},
                                               {"paraVideoSize", "as source"},
                                               {"paraFrameRate", "as source"},
                                               {"paraVideoBitRate", "as source"},
                                               {"paraAudioEncoder", audio},
                                               {"paraSampleRate", "as source"},
                                               {"paraAudioBitRate", "as source"},
                                               {"paraChannel", "as source"}});
            ASSERT_TRUE(result.Ok) << result.Error;
            const fx::ProbeResult probe = fx::ProbeMedia(result.Output);
            const fx::StreamProbe* video = probe.Find(fx::StreamKind::Video);
            const fx::StreamProbe* sound = probe.Find(fx::StreamKind::Audio);
            ASSERT_NE(video, nullptr);
            ASSERT_NE(sound, nullptr);
            EXPECT_EQ(video->codec, "mpeg2video");
            EXPECT_EQ(video->width, 320);
            EXPECT_EQ(video->height, 240);
            EXPECT_NEAR(av_q2d(video->frameRate), 30.0, 0.01);
            EXPECT_EQ(sound->sampleRate, 44100);
            EXPECT_EQ(sound->channels, 2);
            EXPECT_EQ(sound->bitRate, 128000);
            EXPECT_EQ(video->decodeErrors + sound->decodeErrors, 0);
        }
    }
}

// The DVD MPEG-2 format still makes a DVD's program stream from the same source.
TEST_F(FormatChoicesConversionTest, DvdMpeg2MakesADvdProgramStream) {
    const std::string clip = Clip30();
    TFormatRunResult result = Convert(2301, clip,
                                      {{"paraVideoSize", "720x576"},
                                       {"paraFrameRate", "as source"},
                                       {"paraAudioEncoder", "mp2"},
                                       {"paraSampleRate", "as source"},
                                       {"paraAudioBitRate", "224"}});
    ASSERT_TRUE(result.Ok) << result.Error;
    const fx::ProbeResult probe = fx::ProbeMedia(result.Output);
    EXPECT_EQ(probe.container, "mpeg");
    const fx::StreamProbe* video = probe.Find(fx::StreamKind::Video);
    const fx::StreamProbe* sound = probe.Find(fx::StreamKind::Audio);
    ASSERT_NE(video, nullptr);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(video->codec, "mpeg2video");
    EXPECT_EQ(video->width, 720);
    EXPECT_EQ(video->height, 576);
    EXPECT_NEAR(av_q2d(video->frameRate), 25.0, 0.01) << "a DVD's rate, not the source's";
    EXPECT_EQ(sound->sampleRate, 48000) << "a DVD's sample rate, not the source's";
}

// A source without picture converted to a video format gives the format's container with its
// sound; DV, which cannot be without picture, says so before it starts.
TEST_F(FormatChoicesConversionTest, SoundOnlySourceToVideoFormats) {
    fx::MediaSpec spec;
    spec.videoCodec.clear();
    spec.durationS = 1.0;
    spec.audio[0].codec = "libmp3lame";
    spec.audio[0].channels = 1;
    spec.audio[0].sampleRate = 22050;
    const std::string clip = dir_ / "sound.mp3";
    fx::MakeMedia(clip, spec);
    for (int code : {2301, 2107, 2108, 1400}) {
        SCOPED_TRACE(code);
        TFormatRunResult result = Convert(code, clip, {});
        ASSERT_TRUE(result.Ok) << result.Error;
        const fx::ProbeResult probe = fx::ProbeMedia(result.Output);
        EXPECT_EQ(probe.Count(fx::StreamKind::Video), 0);
        EXPECT_EQ(probe.Count(fx::StreamKind::Audio), 1);
    }
    TFormatRunResult dv = Convert(2308, clip, {});
    EXPECT_FALSE(dv.Ok);
    EXPECT_EQ(dv.Error, clip + " has no picture, and a DV file needs one.");
}

// DV's sound is two channels at 32, 44.1 or 48 kHz: a mono choice or a mono source becomes
// stereo.
TEST_F(FormatChoicesConversionTest, DvSoundIsStereo) {
    fx::MediaSpec spec;
    spec.width = 320;
    spec.height = 240;
    spec.durationS = 1.0;
    spec.audio[0].channels = 1;
    spec.audio[0].sampleRate = 22050;
    const std::string clip = dir_ / "mono.mkv";
    fx::MakeMedia(clip, spec);
    for (int code : {2308, 2309}) {
        for (const char* channels : {"1", "as source"}) {
            SCOPED_TRACE(std::to_string(code) + " " + channels);
            TFormatRunResult result =
                Convert(code, clip, {{"paraChannel", channels}, {"paraSampleRate", "as source"}});
            ASSERT_TRUE(result.Ok) << result.Error;
            const fx::ProbeResult probe = fx::ProbeMedia(result.Output);
            const fx::StreamProbe* sound = probe.Find(fx::StreamKind::Audio);
            ASSERT_NE(sound, nullptr);
            EXPECT_EQ(sound->channels, 2);
            EXPECT_EQ(sound->sampleRate, 48000);
        }
    }
}

// A Matroska format keeps a source's text subtitles, each with its language; an MP4 format
// carries them as MP4 text; an AVI format leaves them out. None of them fails over them.
TEST_F(FormatChoicesConversionTest, SubtitlesOfTheSourceNeverFailAConversion) {
    fx::MediaSpec spec;
    spec.width = 320;
    spec.height = 240;
    spec.durationS = 2.0;
    spec.subtitles = {{0.2, 0.9, "First line"}};
    spec.subtitleLanguage = "eng";
    spec.moreSubtitles = {{{{1.0, 1.8, "Zweite Zeile"}}, "ger"}};
    const std::string clip = dir_ / "two-subtitles.mkv";
    fx::MakeMedia(clip, spec);
    struct Case {
        int code;
        const char* codec; // of the kept subtitles; null: none kept
    };
    for (const Case& c : {Case{2200, "subrip"}, Case{200, "mov_text"}, Case{2304, nullptr}}) {
        SCOPED_TRACE(c.code);
        TFormatRunResult result = Convert(c.code, clip, {});
        ASSERT_TRUE(result.Ok) << result.Error;
        const fx::ProbeResult probe = fx::ProbeMedia(result.Output, fx::ProbeDepth::Packets);
        EXPECT_EQ(probe.Count(fx::StreamKind::Video), 1);
        EXPECT_EQ(probe.Count(fx::StreamKind::Audio), 1);
        ASSERT_EQ(probe.Count(fx::StreamKind::Subtitle), c.codec ? 2 : 0);
        for (int i = 0; c.codec && i < 2; ++i) {
            const fx::StreamProbe* s = probe.Find(fx::StreamKind::Subtitle, i);
            EXPECT_EQ(s->codec, c.codec);
            EXPECT_EQ(s->language, i == 0 ? "eng" : "ger");
            EXPECT_GE(s->packets, 1) << i; // MP4 fills the time before a cue with an empty one
        }
    }
}

// The white box's sides in an area of a decoded picture, as shown on screen: width ÷ height.
double BoxShape(const AVFrame& grey, AVRational sar, int x, int y, int w, int h) {
    const fx::BoxSides box = fx::WhiteBoxSides(grey, x, y, w, h);
    EXPECT_GT(box.height, 10);
    return box.height > 0 ? box.width * av_q2d(sar) / box.height : 0;
}

// Sources whose pixels are not square keep their shape: at their own size the output keeps the
// pixels' shape, and fitted into a device's frame the whole picture shows at its own shape. The
// pattern's box, a square on screen in the source, stays one.
TEST_F(FormatChoicesConversionTest, AnamorphicSourcesKeepTheirShape) {
    struct Case {
        const char* name;
        bool wide;
        const char* container;
        const char* ext;
        double displayAspect;
        int pictureTop, pictureHeight; // in the device's 320x240 letterbox
    } cases[] = {
        {"16:9 PAL program stream", true, "mpeg", ".mpg", 16.0 / 9.0, 30, 180},
        {"4:3 PAL transport stream", false, "mpegts", ".ts", 4.0 / 3.0, 0, 240},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::MediaSpec spec = fx::PalSpec(c.wide, 0.4);
        spec.container = c.container;
        const std::string clip = dir_ / (std::string("pal") + c.ext);
        fx::MakeMedia(clip, spec);
        const auto src = fx::DecodePictures(clip, AV_PIX_FMT_GRAY8, 1);
        ASSERT_EQ(src.size(), 1u);
        ASSERT_NEAR(BoxShape(*src[0], spec.sampleAspect, 0, 0, 720, 576), 1.0, 0.03);

        // Matroska at the source's size, with its own encoder (H.264) and with MPEG-4.
        for (const char* encoder : {"libx264", "mpeg4"}) {
            SCOPED_TRACE(encoder);
            TFormatRunResult kept = Convert(2200, clip,
                                            {{"paraVideoEncoder", encoder},
                                             {"paraVideoSize", "as source"},
                                             {"paraZoom", "full"}});
            ASSERT_TRUE(kept.Ok) << kept.Error;
            const fx::ProbeResult probe = fx::ProbeMedia(kept.Output);
            const fx::StreamProbe* video = probe.Find(fx::StreamKind::Video);
            ASSERT_NE(video, nullptr);
            ASSERT_GT(video->sampleAspect.num, 0);
            EXPECT_NEAR(video->width * av_q2d(video->sampleAspect) / video->height, c.displayAspect,
                        0.01);
            const auto out = fx::DecodePictures(kept.Output, AV_PIX_FMT_GRAY8, 1);
            ASSERT_EQ(out.size(), 1u);
            EXPECT_NEAR(BoxShape(*out[0], video->sampleAspect, 0, 0, 720, 576), 1.0, 0.03);
        }

        TFormatRunResult device = Convert(3, clip,
                                          {{"paraVideoEncoder", "mpeg4"},
                                           {"paraVideoSize", "320x240"},
                                           {"paraVideoBitRate", "4000"},
                                           {"paraZoom", "lbox"}});
        ASSERT_TRUE(device.Ok) << device.Error;
        const auto dst = fx::DecodePictures(device.Output, AV_PIX_FMT_GRAY8, 1);
        ASSERT_EQ(dst.size(), 1u);
        ASSERT_EQ(dst[0]->width, 320);
        ASSERT_EQ(dst[0]->height, 240);
        if (c.pictureTop > 2) {
            EXPECT_LT(fx::MeanLevel(*dst[0], 0, 0, 320, c.pictureTop - 2), 3.0);
        }
        // The whole source scaled to the picture's size, its pixels made square.
        auto expected = fx::ScaledGrey(*src[0], 0, 0, 720, 576, 320, c.pictureHeight);
        EXPECT_LT(
            fx::MeanDiff(*dst[0], 2, c.pictureTop + 2, 316, c.pictureHeight - 4, *expected, 2, 2),
            3.0);
        const fx::ProbeResult probe = fx::ProbeMedia(device.Output);
        const fx::StreamProbe* fitted = probe.Find(fx::StreamKind::Video);
        ASSERT_NE(fitted, nullptr);
        EXPECT_NEAR(av_q2d(fitted->sampleAspect), 1.0, 0.01) << "a device gets square pixels";
        EXPECT_NEAR(BoxShape(*dst[0], {1, 1}, 0, c.pictureTop, 320, c.pictureHeight), 1.0, 0.05);
    }
}

} // namespace
} // namespace quovo
