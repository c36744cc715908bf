// Every catalogue format converts: a generated 720x576 clip with stereo sound goes through the
// format's default parameters (in its own zoom mode, then in "Letterbox" and in "Pan and Scan"),
// the option builder and the conversion component, and the output is checked through the
// libraries (container, picture size, codecs, sound).
#include "FormatCatalogue.h"
#include "FormatRules.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TFormatFileRun.h"
#include "TFormatParameterEditor.h"
#include "TFormatSettings.h"
#include "TGlobalObject.h"

#include "../FormatsTestSupport.h"
#include "Fixtures.h"
#include "FormatSweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <tuple>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;
namespace fx = fixtures;

constexpr double kClipSeconds = 2.0;

using sweep::CodecOf;
using sweep::DemuxerOf;

// A format code and the zoom mode it converts with ("" = the format's own).
using TFormatZoom = std::tuple<int, std::string>;

class FormatConversionTest : public ::testing::TestWithParam<TFormatZoom> {
protected:
    static void SetUpTestSuite() {
        FFLogger()->SetTriggerEventInMainThread(false);
        FFLogger()->SetLevelByName("quiet");
        ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    }
};

TEST_P(FormatConversionTest, ConvertsWithItsDefaults) {
    const auto& [code, zoom] = GetParam();
    const auto format = FindFormat(code);
    ASSERT_TRUE(format.has_value());
    SCOPED_TRACE(format->Name);

    TScratchFolder dir;
    fx::MediaSpec spec;
    spec.width = 720;
    spec.height = 576;
    spec.durationS = kClipSeconds;
    spec.audio = {fx::AudioTrackSpec{}};
    spec.audio[0].channels = 2;
    const std::string clip = dir / "clip.mkv";
    fx::MakeMedia(clip, spec);

    TIniStore settings(dir / "quovo.ini");
    TIniStore formats(FindFormatFile());
    TRecordingDialogs dialogs;
    if (!zoom.empty()) {
        EnsureFormatSettings(settings, formats, code, dialogs, "Quovo");
        settings.WriteString(FormatSection(code), "paraZoom", zoom);
    }
    TFormatFileRun run(settings, formats, dialogs, "Quovo");
    run.SetOutputFolder(dir / "out");
    TFormatRunResult result = run.Convert(code, clip);
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_TRUE(dialogs.Messages.empty()) << dialogs.Messages[0].Text;
    EXPECT_TRUE(dialogs.Questions.empty());

    const std::string section = FormatSection(code);
    const std::string ext = formats.ReadString(section, "FileExt", "mp4");
    EXPECT_EQ(result.Output, dir / ("out/clip_(new)." + ext));
    ASSERT_TRUE(std::filesystem::is_regular_file(result.Output));

    fx::ProbeResult probe = fx::ProbeMedia(result.Output);
    EXPECT_EQ(probe.container, DemuxerOf(ext));

    // What the boxes show is what the run used: the stored values, else the format's defaults.
    const TFormatSettings stored(settings, formats, code);
    const std::string venc = stored.Value(TFormatKey::VideoEncoder);
    const fx::StreamProbe* video = probe.Find(fx::StreamKind::Video);
    if (venc.empty()) {
        EXPECT_EQ(video, nullptr) << "an audio format writes no picture";
    } else {
        ASSERT_NE(video, nullptr);
        const std::string size = stored.Value(TFormatKey::VideoSize);
        const size_t x = size.find('x');
        const int w = size == "as source" ? 720 : std::stoi(size.substr(0, x));
        const int h = size == "as source" ? 576 : std::stoi(size.substr(x + 1));
        EXPECT_EQ(video->width, w);
        EXPECT_EQ(video->height, h);
        if (IsVideoCodecName(venc)) {
            EXPECT_EQ(video->codec, CodecOf(venc));
        }
        EXPECT_GT(video->decodedFrames, 0);
        EXPECT_EQ(video->decodeErrors, 0);
    }

    const fx::StreamProbe* audio = probe.Find(fx::StreamKind::Audio);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->codec, CodecOf(stored.Value(TFormatKey::AudioEncoder)));
    const std::string channels = stored.Value(TFormatKey::Channel);
    EXPECT_EQ(audio->channels, channels == "as source" ? 2 : std::stoi(channels));
    const std::string rate = stored.Value(TFormatKey::SampleRate);
    ASSERT_GT(audio->sampleRate, 0);
    if (rate != "as source") {
        EXPECT_EQ(audio->sampleRate, std::stoi(rate));
    }
    const double seconds = static_cast<double>(audio->decodedSamples) / audio->sampleRate;
    EXPECT_NEAR(seconds, kClipSeconds, 0.3) << "the whole sound is there";
}

std::vector<int> AllCodes() {
    std::vector<int> codes;
    for (const TFormatEntry& f : AllFormats()) {
        codes.push_back(f.Code);
    }
    return codes;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, FormatConversionTest,
                         ::testing::Combine(::testing::ValuesIn(AllCodes()),
                                            ::testing::Values(std::string(), std::string("lbox"),
                                                              std::string("pan"))),
                         [](const ::testing::TestParamInfo<TFormatZoom>& info) {
                             const std::string& zoom = std::get<1>(info.param);
                             return "Format" + std::to_string(std::get<0>(info.param)) +
                                    (zoom.empty() ? "" : "_" + zoom);
                         });

} // namespace
} // namespace quovo
