// The engine's option vocabulary: what each option sets, how it refuses bad values, the typed
// shortcuts' guards, and the library option holders behind SetGenericOption.
#include "TCustomFFmpeg.h"

#include "MyUtils.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
}

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

namespace quovo {
namespace {

struct LoggedLine {
    const TFFBaseComponent* sender;
    TLogLevel level;
    std::string text;
};

// Gives the tests the two pieces of file state the options depend on.
class OptionEngine : public TCustomFFmpeg {
public:
    void PretendInputOpened() { inputFiles_.emplace_back(); }
};

class EngineOptionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    }

    void SetUp() override {
        FFLogger()->SetTriggerEventInMainThread(false);
        FFLogger()->SetLogLevel(llInfo);
        FFLogger()->SetOnLog(
            [this](TFFBaseComponent* sender, uint32_t, TLogLevel level, const std::string& msg) {
                std::lock_guard lock(linesMutex_);
                lines_.push_back({sender, level, msg});
            });
        engine_.ResetOptions();
        ClearLog();
    }

    void TearDown() override {
        FFLogger()->SetOnLog(nullptr);
        FFLogger()->SetLogLevel(llInfo);
    }

    void ClearLog() {
        std::lock_guard lock(linesMutex_);
        lines_.clear();
    }

    // Lines the engine itself logged (library lines come from the logger).
    std::vector<LoggedLine> EngineLines() {
        std::lock_guard lock(linesMutex_);
        std::vector<LoggedLine> out;
        for (const auto& l : lines_) {
            if (l.sender == &engine_) {
                out.push_back(l);
            }
        }
        return out;
    }

    std::vector<LoggedLine> AllLines() {
        std::lock_guard lock(linesMutex_);
        return lines_;
    }

    // The message SetOption raised, or "" when it accepted the value.
    std::string Refusal(const std::string& name, const std::string& value) {
        try {
            engine_.SetOption(name, value);
        } catch (const FFmpegException& e) {
            return e.what();
        }
        return std::string();
    }

    int64_t CodecInt(AVMediaType kind, const char* option) {
        int64_t v = 0;
        EXPECT_GE(av_opt_get_int(engine_.GenericOptions().Codec(kind), option, 0, &v), 0);
        return v;
    }

    const TEngineOptions& Opt() const { return engine_.Options(); }

    OptionEngine engine_;
    std::mutex linesMutex_;
    std::vector<LoggedLine> lines_;
};

std::string Numbers(int count) {
    std::string s;
    for (int i = 1; i <= count; ++i) {
        s += (i > 1 ? "," : "") + std::to_string(i);
    }
    return s;
}

std::string Words(int count) {
    std::string s = "/nonexistent/hook.so";
    for (int i = 1; i < count; ++i) {
        s += " w" + std::to_string(i);
    }
    return s;
}

TEST_F(EngineOptionTest, RefusedValuesRaiseTheirMessages) {
    const std::string vcrop = "Vertical crop dimensions are outside the range of the original "
                              "image.\nRemember to crop first and scale second.";
    const std::string hcrop = "Horizontal crop dimensions are outside the range of the original "
                              "image.\nRemember to crop first and scale second.";
    struct Case {
        std::string name, value, message;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"threads", "2", "TODO: option - threads"},
        {"threads", "", "TODO: option - threads"},
        {"padtop", "8", "Please use vfilters=pad"},
        {"padbottom", "8", "Please use vfilters=pad"},
        {"padleft", "8", "Please use vfilters=pad"},
        {"padright", "8", "Please use vfilters=pad"},
        {"padcolor", "000000", "Please use vfilters=pad"},
        {"r", "fast", "Incorrect frame rate"},
        {"r", "-25", "Incorrect frame rate"},
        {"s", "big", "Incorrect frame size"},
        {"s", "320x", "Incorrect frame size"},
        {"aspect", "16:0", "Incorrect aspect ratio specification."},
        {"aspect", "0:9", "Incorrect aspect ratio specification."},
        {"aspect", "wide", "Incorrect aspect ratio specification."},
        {"aspect", "1.5x", "Incorrect aspect ratio specification."},
        {"pix_fmt", "yuv999", "Unknown pixel format requested: yuv999"},
        {"croptop", "10", vcrop},
        {"cropbottom", "1", vcrop},
        {"cropleft", "10", hcrop},
        {"cropright", "1", hcrop},
        {"qscale", "255.5", "qscale must be > 0.0 and <= 255"},
        {"qscale", "0", "qscale must be > 0.0 and <= 255"},
        {"qscale", "-3", "qscale must be > 0.0 and <= 255"},
        {"qscale", "3,5", "'3,5' is not a valid floating point value"},
        {"aq", "loud", "'loud' is not a valid floating point value"},
        {"muxdelay", "", "'' is not a valid floating point value"},
        {"vframes", "12x", "'12x' is not a valid integer value"},
        {"v", "1.5", "'1.5' is not a valid integer value"},
        {"vol", "99999999999", "'99999999999' is not a valid integer value"},
        {"ar", "44.1k", "'44.1k' is not a valid integer value"},
        {"croptop", "ten", "'ten' is not a valid integer value"},
        {"fs", "1e6", "'1e6' is not a valid integer value"},
        {"pass", "3", "pass number can be only 1 or 2"},
        {"pass", "0", "pass number can be only 1 or 2"},
        {"newvideo", "", "At least one output file must be specified"},
        {"newaudio", "", "At least one output file must be specified"},
        {"newsubtitle", "", "At least one output file must be specified"},
        {"metadata", "title", "Missing ="},
        {"itsscale", "20:2", "stream index over MAX_STREAMS(20)"},
        {"itsscale", "-1:2", "stream index over MAX_STREAMS(20)"},
        {"streamid", "5", "Invalid value \"5\" for option \"streamid\", required syntax is \"index:value\""},
        {"streamid", ":5", "Invalid value \":5\" for option \"streamid\", required syntax is \"index:value\""},
        {"streamid", "5:", "Invalid value \"5:\" for option \"streamid\", required syntax is \"index:value\""},
        {"intra_matrix", Numbers(63), "Syntax error in matrix \"" + Numbers(63) + "\" at coeff 62"},
        {"inter_matrix", "1,2;3", "Syntax error in matrix \"1,2;3\" at coeff 1"},
        {"ss", "soon", "Invalid duration specification for ss: soon"},
        {"t", "1:2:3:4", "Invalid duration specification for t: 1:2:3:4"},
        {"itsoffset", "x", "Invalid duration specification for itsoffset: x"},
        {"timestamp", "yesterday", "Invalid date specification for timestamp: yesterday"},
        {"vbsf", "no_such_bsf", "Unknown bitstream filter no_such_bsf"},
        {"absf", "no_such_bsf=arg", "Unknown bitstream filter no_such_bsf"},
        {"sbsf", "", "Unknown bitstream filter "},
        {"vhook", "/nonexistent/hook.so -x", "Failed to add video hook function: /nonexistent/hook.so -x"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + c.value);
        EXPECT_EQ(Refusal(c.name, c.value), c.message);
    }
}

TEST_F(EngineOptionTest, RefusalsThatOnlyFixTheStartOfTheMessage) {
    struct Case {
        std::string name, value, prefix;
    };
    const std::vector<Case> cases = {
        {"vtag", "DIV", "video tag parameter must be 4 chars"},
        {"atag", "mp4a1", "audio tag parameter must be 4 chars"},
        {"stag", "", "subtitle tag parameter must be 4 chars"},
        // Beyond the 20 stream slots and the 64 hook words.
        {"streamid", "20:1", "Invalid stream index"},
        {"streamid", "-1:1", "Invalid stream index"},
        {"vhook", Words(65), "Too many words"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + c.value);
        const std::string message = Refusal(c.name, c.value);
        EXPECT_EQ(message.rfind(c.prefix, 0), 0u) << message;
    }
}

TEST_F(EngineOptionTest, RefusalLeavesEarlierSettings) {
    engine_.SetOption("r", "30000/1001");
    engine_.SetOption("s", "640x480");
    engine_.SetOption("aspect", "4:3");
    engine_.SetOption("qscale", "4");
    engine_.SetOption("intra_matrix", Numbers(64));
    engine_.SetOption("pass", "2");

    EXPECT_NE(Refusal("r", "x"), "");
    EXPECT_NE(Refusal("s", "x"), "");
    EXPECT_NE(Refusal("aspect", "x"), "");
    EXPECT_NE(Refusal("qscale", "300"), "");
    EXPECT_NE(Refusal("intra_matrix", "9,9,9"), "");
    EXPECT_NE(Refusal("pass", "7"), "");

    EXPECT_EQ(av_cmp_q(Opt().frameRate, AVRational{30000, 1001}), 0);
    EXPECT_EQ(Opt().frameWidth, 640);
    EXPECT_EQ(Opt().frameHeight, 480);
    EXPECT_FLOAT_EQ(Opt().frameAspectRatio, 4.0f / 3.0f);
    EXPECT_FLOAT_EQ(Opt().videoQScale, 4.0f);
    ASSERT_TRUE(Opt().intraMatrix.has_value());
    EXPECT_EQ((*Opt().intraMatrix)[0], 1);
    EXPECT_EQ((*Opt().intraMatrix)[63], 64);
    EXPECT_EQ(Opt().doPass, 2);

    // A refused pixel format is not kept: the format falls back to none.
    engine_.SetOption("pix_fmt", "yuv422p");
    EXPECT_NE(Refusal("pix_fmt", "bogus"), "");
    EXPECT_EQ(Opt().framePixFmt, AV_PIX_FMT_NONE);
}

TEST_F(EngineOptionTest, SimpleSettingsReachTheirFields) {
    // Distinct values so that two names landing on one field, or a swapped pair, shows up.
    const std::vector<std::pair<std::string, std::string>> options = {
        {"v", "3"},
        {"programid", "7"},
        {"loop_output", "2"},
        {"vdt", "16"},
        {"me_threshold", "5"},
        {"top", "1"},
        {"dc", "10"},
        {"vc", "4"},
        {"vol", "512"},
        {"vsync", "2"},
        {"async", "3"},
        {"copyinkf", "1"},
        {"vglobal", "2"},
        {"vframes", "100"},
        {"aframes", "200"},
        {"dframes", "300"},
        {"fs", "5000000000"},
        {"aq", "3.5"},
        {"adrift_threshold", "0.25"},
        {"dts_delta_threshold", "4.5"},
        {"muxdelay", "1.25"},
        {"muxpreload", "0.75"},
        {"rc_override", "0,100,2"},
        {"passlogfile", "/tmp/two"},
        {"vstats_file", "/tmp/vs.log"},
        {"tvstd", "pal"},
        {"vlang", "eng"},
        {"alang", "fre"},
        {"slang", "ger"},
        {"ar", "22050"},
        {"ac", "6"},
        {"vf", "scale=320:240"},
    };
    for (const auto& [name, value] : options) {
        SCOPED_TRACE(name);
        engine_.SetOption(name, value);
    }
    const TEngineOptions& o = Opt();
    EXPECT_EQ(o.verbose, 3);
    EXPECT_EQ(o.opt_programid, 7);
    EXPECT_EQ(o.loopOutput, 2);
    EXPECT_EQ(o.videoDiscard, 16);
    EXPECT_EQ(o.meThreshold, 5);
    EXPECT_EQ(o.topFieldFirst, 1);
    EXPECT_EQ(o.intraDcPrecision, 10);
    EXPECT_EQ(o.videoChannel, 4);
    EXPECT_EQ(o.audioVolume, 512);
    EXPECT_EQ(o.videoSyncMethod, 2);
    EXPECT_EQ(o.audioSyncMethod, 3);
    EXPECT_EQ(o.copyInitialNonKeyframes, 1);
    EXPECT_EQ(o.videoGlobalHeader, 2);
    EXPECT_EQ(o.maxFrames[AVMEDIA_TYPE_VIDEO], 100);
    EXPECT_EQ(o.maxFrames[AVMEDIA_TYPE_AUDIO], 200);
    EXPECT_EQ(o.maxFrames[AVMEDIA_TYPE_DATA], 300);
    EXPECT_EQ(o.maxFrames[AVMEDIA_TYPE_SUBTITLE], INT32_MAX);
    EXPECT_EQ(o.limitFilesize, 5000000000LL);
    EXPECT_FLOAT_EQ(o.audioQScale, 3.5f);
    EXPECT_FLOAT_EQ(o.audioDriftThreshold, 0.25f);
    EXPECT_FLOAT_EQ(o.dtsDeltaThreshold, 4.5f);
    EXPECT_FLOAT_EQ(o.muxMaxDelay, 1.25f);
    EXPECT_FLOAT_EQ(o.muxPreload, 0.75f);
    EXPECT_EQ(o.rcOverride, "0,100,2");
    EXPECT_EQ(o.passLogFileName, "/tmp/two");
    EXPECT_EQ(o.vstatsFileName, "/tmp/vs.log");
    EXPECT_EQ(o.videoStandard, "pal");
    EXPECT_EQ(o.videoLanguage, "eng");
    EXPECT_EQ(o.audioLanguage, "fre");
    EXPECT_EQ(o.subtitleLanguage, "ger");
    EXPECT_EQ(o.audioSampleRate, 22050);
    EXPECT_EQ(o.audioChannels, 6);
    EXPECT_EQ(o.videoFilters, "scale=320:240");
    EXPECT_TRUE(EngineLines().empty());
}

TEST_F(EngineOptionTest, SwitchesAreOffOnlyForZero) {
    const std::vector<std::pair<std::string, bool TEngineOptions::*>> switches = {
        {"loop_input", &TEngineOptions::loopInput},
        {"re", &TEngineOptions::rateEmu},
        {"intra", &TEngineOptions::intraOnly},
        {"vn", &TEngineOptions::videoDisable},
        {"sameq", &TEngineOptions::sameQuality},
        {"deinterlace", &TEngineOptions::doDeinterlace},
        {"psnr", &TEngineOptions::doPsnr},
        {"qphist", &TEngineOptions::qpHist},
        {"force_fps", &TEngineOptions::forceFps},
        {"an", &TEngineOptions::audioDisable},
        {"sn", &TEngineOptions::subtitleDisable},
        {"isync", &TEngineOptions::inputSync},
        {"shortest", &TEngineOptions::opt_shortest},
        {"dump", &TEngineOptions::doPktDump},
        {"hex", &TEngineOptions::doHexDump},
    };
    for (const auto& [name, field] : switches) {
        SCOPED_TRACE(name);
        for (const char* on : {"1", "", "yes", "00"}) {
            engine_.SetOption(name, "0");
            EXPECT_FALSE(Opt().*field);
            engine_.SetOption(name, on);
            EXPECT_TRUE(Opt().*field) << "value '" << on << "'";
        }
    }
    // These ignore their value: any value turns them on.
    engine_.SetOption("copyts", "0");
    engine_.SetOption("xerror", "0");
    EXPECT_TRUE(Opt().copyTs);
    EXPECT_TRUE(Opt().exitOnError);
}

TEST_F(EngineOptionTest, ResetOptionsRestoresDefaultsAndReleasesFiles) {
    engine_.SetOption("ar", "8000");
    engine_.SetOption("vcodec", "copy");
    engine_.SetOption("map", "0.0");
    engine_.SetOption("t", "10");
    engine_.SetOption("g", "12");
    engine_.SetOption("sws_flags", "bilinear");
    engine_.SetOption("itsscale", "1:2");
    engine_.SetOption("vbsf", "null");
    engine_.PretendInputOpened();
    ASSERT_EQ(engine_.InputFileCount(), 1);
    ASSERT_EQ(engine_.ProgressTotal(), 10000000);

    engine_.ResetOptions();

    const TEngineOptions& o = Opt();
    EXPECT_EQ(engine_.InputFileCount(), 0);
    EXPECT_EQ(engine_.ProgressTotal(), -1);
    EXPECT_FALSE(engine_.Joined());
    EXPECT_FALSE(engine_.StopRequested());
    EXPECT_FALSE(engine_.RunCompleted());
    EXPECT_EQ(o.audioSampleRate, 44100);
    EXPECT_EQ(o.audioChannels, 2);
    EXPECT_FALSE(o.videoStreamCopy);
    EXPECT_TRUE(o.streamMaps.empty());
    EXPECT_TRUE(o.videoBitstreamFilters.empty());
    EXPECT_EQ(o.inputFilesTsScale[0][1], 0.0);
    EXPECT_EQ(o.recordingTime, INT64_MAX);
    EXPECT_EQ(o.swsFlags, SWS_BICUBIC);
    EXPECT_TRUE(engine_.GenericOptions().SetNames().empty());
    AvCodecContextPtr fresh(avcodec_alloc_context3(nullptr));
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), fresh->gop_size);
    int64_t flags = 0;
    ASSERT_GE(av_opt_get_int(engine_.GenericOptions().Scaler(), "sws_flags", 0, &flags), 0);
    EXPECT_EQ(flags, SWS_BICUBIC);
    // A few defaults the rest of the engine depends on.
    EXPECT_EQ(o.audioVolume, 256);
    EXPECT_EQ(o.verbose, 1);
    EXPECT_EQ(o.topFieldFirst, -1);
    EXPECT_EQ(o.videoSyncMethod, -1);
    EXPECT_FLOAT_EQ(o.audioQScale, -99999.0f);
    EXPECT_FLOAT_EQ(o.muxPreload, 0.5f);
    EXPECT_FLOAT_EQ(o.muxMaxDelay, 0.7f);
}

TEST_F(EngineOptionTest, ResetOptionsWaitsForTheLibraries) {
    engine_.SetOption("ar", "8000");
    FFLoader().UnloadLibraries(ConverterLibraryMask);
    engine_.ResetOptions();
    const int rate = Opt().audioSampleRate;
    ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    EXPECT_EQ(rate, 8000);
    engine_.ResetOptions();
    EXPECT_EQ(Opt().audioSampleRate, 44100);
}

TEST_F(EngineOptionTest, CodecNamesAndStreamCopy) {
    engine_.SetOption("vcodec", "mpeg4");
    EXPECT_EQ(Opt().videoCodecName, "mpeg4");
    EXPECT_FALSE(Opt().videoStreamCopy);
    engine_.SetOption("vcodec", "copy");
    EXPECT_EQ(Opt().videoCodecName, "");
    EXPECT_TRUE(Opt().videoStreamCopy);

    engine_.SetOption("acodec", "mp2");
    engine_.SetOption("acodec", "copy");
    EXPECT_EQ(Opt().audioCodecName, "");
    EXPECT_TRUE(Opt().audioStreamCopy);

    engine_.SetOption("scodec", "copy");
    EXPECT_TRUE(Opt().subtitleStreamCopy);
    engine_.SetOption("scodec", "mov_text");
    EXPECT_EQ(Opt().subtitleCodecName, "mov_text");
    EXPECT_FALSE(Opt().videoCodecName == "mov_text" || Opt().audioCodecName == "mov_text");
}

TEST_F(EngineOptionTest, CropChecksAgainstTheCurrentFrame) {
    // Nothing to crop yet: zero and negative values are ignored without a word.
    engine_.SetOption("croptop", "0");
    engine_.SetOption("croptop", "-4");
    engine_.SetOption("cropleft", "-4");
    EXPECT_EQ(Opt().cropTop, 0);
    EXPECT_EQ(Opt().cropLeft, 0);
    EXPECT_TRUE(EngineLines().empty());

    engine_.SetOption("s", "320x240");
    engine_.SetOption("croptop", "10");
    engine_.SetOption("cropbottom", "30");
    engine_.SetOption("cropleft", "20");
    engine_.SetOption("cropright", "40");
    EXPECT_EQ(Opt().cropTop, 10);
    EXPECT_EQ(Opt().cropBottom, 30);
    EXPECT_EQ(Opt().cropLeft, 20);
    EXPECT_EQ(Opt().cropRight, 40);
    EXPECT_EQ(Opt().frameHeight, 200);
    EXPECT_EQ(Opt().frameWidth, 260);
    const auto lines = EngineLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].level, llWarning);
    EXPECT_EQ(lines[0].text, "CropXXX is deprecated in favor of the crop avfilter");

    // The remaining height is 200: 200 is not below it, 199 is.
    EXPECT_NE(Refusal("cropbottom", "200"), "");
    EXPECT_EQ(Opt().cropBottom, 30);
    EXPECT_EQ(Refusal("cropbottom", "199"), "");
    EXPECT_EQ(Opt().frameHeight, 1);
    EXPECT_NE(Refusal("cropright", "260"), "");
    EXPECT_EQ(Opt().frameWidth, 260);

    // The typed shortcuts check the same way.
    EXPECT_THROW(engine_.SetCropTop(1), FFmpegException);
    engine_.SetCropLeft(0);
    engine_.SetCropRight(10);
    EXPECT_EQ(Opt().cropRight, 10);
    EXPECT_EQ(Opt().frameWidth, 250);
}

TEST_F(EngineOptionTest, AspectRatioForms) {
    // clang-format off
    const std::vector<std::pair<std::string, float>> cases = {
        {"1.7778", 1.7778f},
        {"16:9", 16.0f / 9.0f},
        {"4:3", 4.0f / 3.0f},
        {"2.21:1", 2.21f},
        {" 1.5 ", 1.5f},
    };
    // clang-format on
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        engine_.SetOption("aspect", text);
        EXPECT_FLOAT_EQ(Opt().frameAspectRatio, expected);
    }
}

TEST_F(EngineOptionTest, RateSizeAndFormatNames) {
    struct RateCase {
        std::string text;
        AVRational rate;
    };
    for (const RateCase& c : std::vector<RateCase>{{"25", {25, 1}},
                                                   {"30000/1001", {30000, 1001}},
                                                   {"ntsc", {30000, 1001}},
                                                   {"pal", {25, 1}},
                                                   {"film", {24, 1}}}) {
        SCOPED_TRACE(c.text);
        engine_.SetOption("r", c.text);
        EXPECT_EQ(av_cmp_q(Opt().frameRate, c.rate), 0);
    }
    engine_.SetOption("s", "vga");
    EXPECT_EQ(Opt().frameWidth, 640);
    EXPECT_EQ(Opt().frameHeight, 480);
    engine_.SetOption("s", "352x288");
    EXPECT_EQ(Opt().frameWidth, 352);
    EXPECT_EQ(Opt().frameHeight, 288);

    engine_.SetOption("pix_fmt", "yuv422p");
    EXPECT_EQ(Opt().framePixFmt, AV_PIX_FMT_YUV422P);
    engine_.SetOption("sample_fmt", "s16");
    EXPECT_EQ(Opt().audioSampleFmt, AV_SAMPLE_FMT_S16);
    // An unknown sample format is taken as none, silently.
    engine_.SetOption("sample_fmt", "s99");
    EXPECT_EQ(Opt().audioSampleFmt, AV_SAMPLE_FMT_NONE);
    EXPECT_TRUE(EngineLines().empty());

    engine_.SetOption("f", "matroska");
    EXPECT_EQ(Opt().forcedFormat, "matroska");
    EXPECT_FALSE(Opt().pgmyuvCompatibility);
    engine_.SetOption("f", "pgmyuv");
    EXPECT_EQ(Opt().forcedFormat, "image2");
    EXPECT_TRUE(Opt().pgmyuvCompatibility);
    const auto lines = EngineLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, llInfo);
    EXPECT_EQ(lines[0].text, "pgmyuv format is deprecated, use image2");
}

TEST_F(EngineOptionTest, FormatListsStartWithTheHeaderLine) {
    engine_.SetOption("pix_fmt", "yuv420p");
    engine_.SetOption("pix_fmt", "list");
    EXPECT_EQ(Opt().framePixFmt, AV_PIX_FMT_YUV420P);
    auto lines = EngineLines();
    int pixFmts = 0;
    for (auto* d = av_pix_fmt_desc_next(nullptr); d; d = av_pix_fmt_desc_next(d)) {
        ++pixFmts;
    }
    ASSERT_EQ(static_cast<int>(lines.size()), pixFmts + 1);
    EXPECT_EQ(lines[0].text.rfind("name", 0), 0u) << lines[0].text;
    EXPECT_EQ(lines[1].text.rfind("yuv420p ", 0), 0u) << lines[1].text;
    for (const auto& l : lines) {
        EXPECT_EQ(l.level, llInfo);
        EXPECT_EQ(l.text, Trim(l.text));
    }

    ClearLog();
    engine_.SetOption("sample_fmt", "list");
    lines = EngineLines();
    ASSERT_EQ(static_cast<int>(lines.size()), AV_SAMPLE_FMT_NB + 1);
    EXPECT_EQ(lines[0].text.rfind("name", 0), 0u) << lines[0].text;
    EXPECT_EQ(lines[1].text.rfind("u8 ", 0), 0u) << lines[1].text;
}

TEST_F(EngineOptionTest, DurationsAndDates) {
    engine_.SetOption("ss", "1:02.5");
    EXPECT_EQ(Opt().startTime, 62500000);
    engine_.SetOption("itsoffset", "-2.5");
    EXPECT_EQ(Opt().inputTsOffset, -2500000);
    engine_.SetOption("t", "01:00:00");
    EXPECT_EQ(Opt().recordingTime, 3600000000LL);
    EXPECT_EQ(engine_.ProgressTotal(), 3600000000LL);

    // Microseconds to seconds, rounded to the nearest.
    engine_.SetOption("timestamp", "1970-01-01 00:00:10.6Z");
    EXPECT_EQ(Opt().recTimestamp, 11);
    engine_.SetOption("timestamp", "2001-02-03T04:05:06.4Z");
    EXPECT_EQ(Opt().recTimestamp, 981173106);
    const int64_t before = time(nullptr);
    engine_.SetOption("timestamp", "now");
    EXPECT_GE(Opt().recTimestamp, before);
    EXPECT_LE(Opt().recTimestamp, before + 2);
}

TEST_F(EngineOptionTest, MetadataStreamIdsAndMaps) {
    engine_.SetOption("metadata", "title=a=b");
    engine_.SetOption("metadata", "comment=");
    const std::vector<std::pair<std::string, std::string>> metadata = {{"title", "a=b"},
                                                                       {"comment", ""}};
    EXPECT_EQ(Opt().metadata, metadata);

    engine_.SetOption("streamid", "3:77");
    engine_.SetOption("streamid", "19:-2");
    EXPECT_EQ(Opt().streamIdMap[3], 77);
    EXPECT_EQ(Opt().streamIdMap[19], -2);
    EXPECT_EQ(Opt().streamIdMap[0], 0);
}

TEST_F(EngineOptionTest, StreamIdValueMustBeAnInteger) {
    EXPECT_EQ(Refusal("streamid", "1:abc"), "'abc' is not a valid integer value");
}

TEST_F(EngineOptionTest, MapNumbersAreReadLikeStrtolBaseZero) {
    struct Case {
        std::string text;
        TStreamMap expected;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"0.1", {0, 1, 0, 1}},
        {"1.2:0.0", {1, 2, 0, 0}},
        {"0x1.010", {1, 8, 1, 8}}, // hexadecimal and octal
        {"2:3;4,5", {2, 3, 4, 5}}, // any one character separates
        {"3", {3, 0, 3, 0}},
    };
    // clang-format on
    for (const Case& c : cases) {
        engine_.SetOption("map", c.text);
    }
    ASSERT_EQ(Opt().streamMaps.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].text);
        const TStreamMap& m = Opt().streamMaps[i];
        EXPECT_EQ(m.file_index, cases[i].expected.file_index);
        EXPECT_EQ(m.stream_index, cases[i].expected.stream_index);
        EXPECT_EQ(m.sync_file_index, cases[i].expected.sync_file_index);
        EXPECT_EQ(m.sync_stream_index, cases[i].expected.sync_stream_index);
    }

    engine_.SetOption("map_meta_data", "1:0");
    engine_.SetOption("map_meta_data", "0x2.07");
    ASSERT_EQ(Opt().metaDataMaps.size(), 2u);
    EXPECT_EQ(Opt().metaDataMaps[0].out_file, 1);
    EXPECT_EQ(Opt().metaDataMaps[0].in_file, 0);
    EXPECT_EQ(Opt().metaDataMaps[1].out_file, 2);
    EXPECT_EQ(Opt().metaDataMaps[1].in_file, 7);
}

TEST_F(EngineOptionTest, MapCountsAreBounded) {
    for (int i = Opt().streamMaps.size(); i < MAX_STREAM_MAPS; ++i) {
        engine_.SetOption("map", "0.0");
    }
    EXPECT_EQ(Refusal("map", "0.0").rfind("Too many stream maps", 0), 0u);
    EXPECT_EQ(static_cast<int>(Opt().streamMaps.size()), MAX_STREAM_MAPS);

    for (int i = 0; i < MAX_META_DATA_MAPS; ++i) {
        engine_.SetOption("map_meta_data", "0:0");
    }
    EXPECT_EQ(Refusal("map_meta_data", "0:0").rfind("Too many metadata maps", 0), 0u);
    EXPECT_EQ(static_cast<int>(Opt().metaDataMaps.size()), MAX_META_DATA_MAPS);
}

TEST_F(EngineOptionTest, TimestampScaleGoesToTheNextInputsRow) {
    engine_.SetOption("itsscale", "0x1:2");
    EXPECT_EQ(Opt().inputFilesTsScale[0][1], 2.0);
    engine_.SetOption("itsscale", "19:1.001");
    EXPECT_EQ(Opt().inputFilesTsScale[0][19], 1.001);

    engine_.PretendInputOpened();
    engine_.SetOption("itsscale", "0,0.5");
    EXPECT_EQ(Opt().inputFilesTsScale[1][0], 0.5);
    EXPECT_EQ(Opt().inputFilesTsScale[0][0], 0.0);
}

TEST_F(EngineOptionTest, QuantiserMatrices) {
    std::string values;
    for (int i = 0; i < 64; ++i) {
        values += std::to_string(100 + i) + ",";
    }
    engine_.SetOption("intra_matrix", values + "999,998"); // a 65th value and more are ignored
    ASSERT_TRUE(Opt().intraMatrix.has_value());
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ((*Opt().intraMatrix)[i], 100 + i) << i;
    }
    EXPECT_FALSE(Opt().interMatrix.has_value());

    engine_.SetOption("inter_matrix", "-1, +2," + Numbers(62));
    ASSERT_TRUE(Opt().interMatrix.has_value());
    EXPECT_EQ((*Opt().interMatrix)[0], 65535);
    EXPECT_EQ((*Opt().interMatrix)[1], 2);
    EXPECT_EQ((*Opt().interMatrix)[63], 62);
}

TEST_F(EngineOptionTest, CodecTagsPutTheFirstCharacterLowest) {
    engine_.SetOption("vtag", "DIVX");
    engine_.SetOption("atag", "mp4a");
    engine_.SetOption("stag", "tx3g");
    EXPECT_EQ(Opt().videoCodecTag, MKTAG('D', 'I', 'V', 'X'));
    EXPECT_EQ(Opt().audioCodecTag, MKTAG('m', 'p', '4', 'a'));
    EXPECT_EQ(Opt().subtitleCodecTag, MKTAG('t', 'x', '3', 'g'));
    engine_.SetOption("vtag", "\xff\x01 z");
    EXPECT_EQ(Opt().videoCodecTag, 0x7A2001FFu);
}

TEST_F(EngineOptionTest, BitstreamFilterChains) {
    engine_.SetOption("vbsf", "=h264_mp4toannexb");
    EXPECT_TRUE(Opt().videoBitstreamFilters.empty());

    engine_.SetOption("vbsf", "h264_mp4toannexb=1");
    engine_.SetOption("vbsf", "null");
    engine_.SetOption("absf", "aac_adtstoasc");
    engine_.SetOption("sbsf", "null");
    EXPECT_EQ(Opt().videoBitstreamFilters, (std::vector<std::string>{"h264_mp4toannexb", "null"}));
    EXPECT_EQ(Opt().audioBitstreamFilters, (std::vector<std::string>{"aac_adtstoasc"}));
    EXPECT_EQ(Opt().subtitleBitstreamFilters, (std::vector<std::string>{"null"}));
}

TEST_F(EngineOptionTest, InformationalNamesOnlyLog) {
    for (const char* name : {"L", "h", "version", "formats", "codecs", "bsfs", "protocols",
                             "filters", "i", "y", "benchmark"}) {
        SCOPED_TRACE(name);
        ClearLog();
        engine_.SetOption(name, "whatever");
        const auto lines = EngineLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].level, llInfo);
        EXPECT_EQ(lines[0].text, std::string("Do nothing: option - ") + name);
    }
    ClearLog();
    engine_.SetOption("timelimit", "10");
    const auto lines = EngineLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, llWarning);
    EXPECT_EQ(lines[0].text, "Warning: -timelimit not implemented on Windows");
    EXPECT_TRUE(engine_.GenericOptions().SetNames().empty());
}

TEST_F(EngineOptionTest, UnknownNameChangesAndReportsNothing) {
    engine_.SetOption("no_such_option", "5");
    engine_.SetOption("VCODEC", "mpeg4"); // names are case-sensitive
    EXPECT_TRUE(engine_.GenericOptions().SetNames().empty());
    EXPECT_EQ(Opt().videoCodecName, "");
    EXPECT_TRUE(AllLines().empty());
}

TEST_F(EngineOptionTest, BitrateWarningFollowsTheKindsBitrate) {
    const std::string warning =
        "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s";
    struct Case {
        std::string name, value;
        AVMediaType kind;
        bool warns;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"vb", "500", AVMEDIA_TYPE_VIDEO, true},
        {"vb", "500000", AVMEDIA_TYPE_VIDEO, false},
        {"b", "999", AVMEDIA_TYPE_VIDEO, true},
        {"b", "1000", AVMEDIA_TYPE_VIDEO, false},
        {"ab", "64", AVMEDIA_TYPE_AUDIO, true},
        {"ab", "64000", AVMEDIA_TYPE_AUDIO, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + c.value);
        engine_.ResetOptions();
        ClearLog();
        engine_.SetOption(c.name, c.value);
        EXPECT_EQ(CodecInt(c.kind, "b"), std::stoll(c.value));
        const auto lines = EngineLines();
        if (c.warns) {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0].level, llWarning);
            EXPECT_EQ(lines[0].text, warning);
        } else {
            EXPECT_TRUE(lines.empty());
        }
    }
    // The audio bitrate leaves the video options alone (and so does not warn about them).
    engine_.ResetOptions();
    const int64_t videoDefault = CodecInt(AVMEDIA_TYPE_VIDEO, "b");
    engine_.SetOption("ab", "32000");
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), videoDefault);
}

TEST_F(EngineOptionTest, LogLevelAndVerbosity) {
    engine_.SetOption("loglevel", "ERROR");
    EXPECT_EQ(FFLogger()->LogLevel(), llError);
    engine_.SetOption("loglevel", "48");
    EXPECT_EQ(FFLogger()->LogLevel(), llDebug);
    engine_.SetOption("loglevel", "info");
    EXPECT_EQ(FFLogger()->LogLevel(), llInfo);
    engine_.SetOption("v", "-1");
    EXPECT_EQ(Opt().verbose, -1);
}

TEST_F(EngineOptionTest, VstatsNamesAFileBesideTheProgram) {
    engine_.SetOption("vstats", "ignored");
    const std::string folder =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/";
    const std::string& name = Opt().vstatsFileName;
    ASSERT_EQ(name.rfind(folder, 0), 0u) << name;
    EXPECT_TRUE(std::regex_match(name.substr(folder.size()), std::regex(R"(vstats_\d{6}\.log)")))
        << name;
}

TEST_F(EngineOptionTest, VideoHookModules) {
#ifdef QUOVO_TEST_HOOK
    const std::string hook = QUOVO_TEST_HOOK;
    EXPECT_EQ(Refusal("vhook", hook + " fail"),
              "Failed to add video hook function: " + hook + " fail");
    EXPECT_FALSE(Opt().usingVhook);
    EXPECT_EQ(Refusal("vhook", hook + " add 1"), "");
    EXPECT_TRUE(Opt().usingVhook);

    // The module path and up to 63 arguments.
    std::string words = hook;
    for (int i = 1; i < MAX_HOOK_WORDS; ++i) {
        words += " a";
    }
    EXPECT_EQ(Refusal("vhook", words), "");
    EXPECT_NE(Refusal("vhook", words + " a"), "");

    engine_.ResetOptions();
    EXPECT_FALSE(Opt().usingVhook);
#else
    GTEST_SKIP() << "the test hook module is not part of this build";
#endif
}

TEST_F(EngineOptionTest, NewStreamOptionsAddToTheLastOutput) {
    const std::string out = ::testing::TempDir() + "quovo_newstream_option.mkv";
    engine_.SetOption("vn", "1");
    engine_.SetOption("an", "1");
    engine_.SetOption("sn", "1");
    ASSERT_EQ(engine_.OpenOutputFile(out, false), 1) << engine_.LastErrorText();
    const unsigned before = engine_.OutputContext(0)->nb_streams;
    engine_.SetOption("vcodec", "mpeg4");
    engine_.SetOption("newvideo", "");
    engine_.SetOption("acodec", "mp2");
    engine_.SetOption("newaudio", "");
    AVFormatContext* ctx = engine_.OutputContext(0);
    ASSERT_EQ(ctx->nb_streams, before + 2);
    EXPECT_EQ(ctx->streams[before]->codecpar->codec_type, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(ctx->streams[before + 1]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
    engine_.ResetOptions();
    std::filesystem::remove(out);
}

// --- typed shortcuts

TEST_F(EngineOptionTest, ShortcutGuards) {
    TCustomFFmpeg& e = engine_;

    e.SetStartTime(5000000);
    e.SetStartTime(NoTimestamp);
    EXPECT_EQ(Opt().startTime, 5000000);
    e.SetRecordingTime(7000000);
    e.SetRecordingTime(NoTimestamp);
    EXPECT_EQ(Opt().recordingTime, 7000000);
    EXPECT_EQ(e.ProgressTotal(), 7000000);

    e.SetProgramID(5);
    e.SetProgramID(-1);
    EXPECT_EQ(Opt().opt_programid, 5);
    e.SetProgramID(0);
    EXPECT_EQ(Opt().opt_programid, 0);

    e.SetFrameRate("ntsc");
    e.SetFrameRate("");
    EXPECT_EQ(av_cmp_q(Opt().frameRate, AVRational{30000, 1001}), 0);
    e.SetFrameAspectRatio("16:9");
    e.SetFrameAspectRatio("");
    EXPECT_FLOAT_EQ(Opt().frameAspectRatio, 16.0f / 9.0f);
    e.SetFrameSize("320x240");
    e.SetFrameSize("");
    EXPECT_EQ(Opt().frameWidth, 320);
    e.SetVideoFilters("hflip");
    e.SetVideoFilters("");
    EXPECT_EQ(Opt().videoFilters, "hflip");

    e.SetVideoCodec("mpeg4");
    e.SetVideoCodec("");
    EXPECT_EQ(Opt().videoCodecName, "mpeg4");
    e.SetAudioCodec("copy");
    e.SetAudioCodec("");
    EXPECT_TRUE(Opt().audioStreamCopy);
    e.SetSubtitleCodec("mov_text");
    e.SetSubtitleCodec("");
    EXPECT_EQ(Opt().subtitleCodecName, "mov_text");
    EXPECT_NO_THROW(e.SetVideoPreset(""));
    EXPECT_NO_THROW(e.SetAudioPreset(""));
    EXPECT_NO_THROW(e.SetSubtitlePreset(""));

    e.SetAudioChannels(6);
    e.SetAudioChannels(0);
    EXPECT_EQ(Opt().audioChannels, 6);
    e.SetAudioSampleRate(48000);
    e.SetAudioSampleRate(-1);
    EXPECT_EQ(Opt().audioSampleRate, 48000);
    e.SetAudioVolume(-1);
    EXPECT_EQ(Opt().audioVolume, 256);
    e.SetAudioVolume(0);
    EXPECT_EQ(Opt().audioVolume, 0);
    e.SetAudioSyncMethod(-5);
    e.SetVideoSyncMethod(-7);
    EXPECT_EQ(Opt().audioSyncMethod, -5);
    EXPECT_EQ(Opt().videoSyncMethod, -7);
    e.SetMuxPreload(0.25f);
    e.SetMuxPreload(0);
    e.SetMuxMaxDelay(-1);
    EXPECT_FLOAT_EQ(Opt().muxPreload, 0.25f);
    EXPECT_FLOAT_EQ(Opt().muxMaxDelay, 0.7f);

    e.SetAudioTag("mp4a");
    e.SetAudioTag("");
    EXPECT_EQ(Opt().audioCodecTag, MKTAG('m', 'p', '4', 'a'));
    e.SetVideoTag("");
    EXPECT_EQ(Opt().videoCodecTag, 0u);
    EXPECT_THROW(e.SetVideoTag("xvid1"), FFmpegException);

    e.SetVideoLanguage("eng");
    e.SetVideoLanguage("");
    e.SetAudioLanguage("fre");
    e.SetSubtitleLanguage("ger");
    EXPECT_EQ(Opt().videoLanguage, "");
    EXPECT_EQ(Opt().audioLanguage, "fre");
    EXPECT_EQ(Opt().subtitleLanguage, "ger");

    e.AddMetadata("title", "no equals sign needed");
    ASSERT_EQ(Opt().metadata.size(), 1u);
    EXPECT_EQ(Opt().metadata[0].second, "no equals sign needed");

    e.SetVerbose(-1);
    EXPECT_EQ(Opt().verbose, -1);

    e.SetForceFormat("pgmyuv");
    EXPECT_EQ(Opt().forcedFormat, "image2");
    EXPECT_TRUE(Opt().pgmyuvCompatibility);

    e.SetGenericIntOption("g", 33);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "g"), 33);
}

TEST_F(EngineOptionTest, ShortcutsRefuseLikeTheirOptions) {
    EXPECT_THROW(engine_.SetFrameRate("fast"), FFmpegException);
    EXPECT_THROW(engine_.SetFrameSize("huge"), FFmpegException);
    EXPECT_THROW(engine_.SetFrameAspectRatio("0:1"), FFmpegException);
    EXPECT_THROW(engine_.SetAudioTag("abc"), FFmpegException);
}

// --- library option holders

TEST_F(EngineOptionTest, GenericLookupFollowsTheKindMasks) {
    const TGenericOptions& g = engine_.GenericOptions();
    const int64_t subtitleDefault = CodecInt(AVMEDIA_TYPE_SUBTITLE, "b");

    // "b" is a video and audio option: set on video, audio and the two unmasked kinds.
    ASSERT_TRUE(engine_.SetGenericOption("b", "123456"));
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_VIDEO, "b"), 123456);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_AUDIO, "b"), 123456);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_DATA, "b"), 123456);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_SUBTITLE, "b"), subtitleDefault);
    EXPECT_EQ(CodecInt(AVMEDIA_TYPE_ATTACHMENT, "b"), 123456);

    // "ar" is audio only: the video options keep their value.
    ASSERT_TRUE(engine_.SetGenericOption("ar", "22050"));
    EXPECT_EQ(g.Codec(AVMEDIA_TYPE_AUDIO)->sample_rate, 22050);
    EXPECT_EQ(g.Codec(AVMEDIA_TYPE_VIDEO)->sample_rate, 0);

    // Container, then scaler.
    ASSERT_TRUE(engine_.SetGenericOption("fflags", "+genpts"));
    EXPECT_TRUE(g.Container()->flags & AVFMT_FLAG_GENPTS);
    ASSERT_TRUE(engine_.SetGenericOption("sws_flags", "bilinear"));
    int64_t swsFlags = 0;
    ASSERT_GE(av_opt_get_int(g.Scaler(), "sws_flags", 0, &swsFlags), 0);
    EXPECT_EQ(swsFlags, SWS_BILINEAR);
    EXPECT_EQ(engine_.Options().swsFlags, SWS_BILINEAR);

    // Kind-prefixed names set the rest of the name on that kind only; the list keeps the
    // option's own name.
    ASSERT_TRUE(engine_.SetGenericOption("vqmin", "3"));
    EXPECT_EQ(g.Codec(AVMEDIA_TYPE_VIDEO)->qmin, 3);
    EXPECT_NE(g.Codec(AVMEDIA_TYPE_AUDIO)->qmin, 3);
    ASSERT_TRUE(engine_.SetGenericOption("  vb ", " 48000 "));
    EXPECT_EQ(g.Codec(AVMEDIA_TYPE_VIDEO)->bit_rate, 48000);
    EXPECT_EQ(g.Codec(AVMEDIA_TYPE_AUDIO)->bit_rate, 123456);
    // "ab" is an audio option of the library itself, so it is listed under its own name.
    ASSERT_TRUE(engine_.SetGenericOption("ab", "96000"));
    EXPECT_EQ(g.Codec(AVMEDIA_TYPE_AUDIO)->bit_rate, 96000);
    EXPECT_EQ(g.Codec(AVMEDIA_TYPE_VIDEO)->bit_rate, 48000);

    EXPECT_EQ(g.SetNames(),
              (std::vector<std::string>{"b", "ar", "fflags", "sws_flags", "qmin", "b", "ab"}));
}

TEST_F(EngineOptionTest, GenericOptionRefusals) {
    EXPECT_FALSE(engine_.SetGenericOption("no_such_option", "1"));
    EXPECT_FALSE(engine_.SetGenericOption("b", "  "));
    EXPECT_FALSE(engine_.SetGenericOption(" ", "1"));
    EXPECT_TRUE(AllLines().empty());

    EXPECT_FALSE(engine_.SetGenericOption("b", "lots"));
    EXPECT_TRUE(engine_.GenericOptions().SetNames().empty());
    bool logged = false;
    for (const auto& l : AllLines()) {
        if (l.level == llError &&
            l.text.find("Invalid value \"lots\" for option \"b\"") != std::string::npos) {
            logged = true;
        }
    }
    EXPECT_TRUE(logged) << "no library error line";
}

TEST_F(EngineOptionTest, DebugOptionsRaiseTheLogLevel) {
    struct Case {
        const char* name;
        const char* value;
    };
    for (const Case& c : {Case{"debug", "mb_type"}, Case{"fdebug", "ts"}}) {
        SCOPED_TRACE(c.name);
        engine_.ResetOptions();
        FFLogger()->SetLogLevel(llInfo);
        ASSERT_TRUE(engine_.SetGenericOption(c.name, c.value));
        EXPECT_EQ(FFLogger()->LogLevel(), llDebug);
    }
    engine_.ResetOptions();
    FFLogger()->SetLogLevel(llInfo);
    ASSERT_TRUE(engine_.SetGenericOption("g", "10"));
    EXPECT_EQ(FFLogger()->LogLevel(), llInfo);
}

TEST_F(EngineOptionTest, ApplyCopiesOnlyOptionsWithEveryFlag) {
    ASSERT_TRUE(engine_.SetGenericOption("b", "64000"));        // video, audio, encoding
    ASSERT_TRUE(engine_.SetGenericOption("g", "12"));           // video, encoding
    ASSERT_TRUE(engine_.SetGenericOption("ar", "22050"));       // audio, encoding, decoding
    ASSERT_TRUE(engine_.SetGenericOption("flags", "+qscale"));  // every kind, both ways
    ASSERT_TRUE(engine_.SetGenericOption("fflags", "+genpts")); // container, both ways
    const TGenericOptions& g = engine_.GenericOptions();

    AvCodecContextPtr videoEncoder(avcodec_alloc_context3(nullptr));
    engine_.ApplyGenericOptions(videoEncoder.get(), g.Codec(AVMEDIA_TYPE_VIDEO),
                                AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    EXPECT_EQ(videoEncoder->bit_rate, 64000);
    EXPECT_EQ(videoEncoder->gop_size, 12);
    EXPECT_TRUE(videoEncoder->flags & AV_CODEC_FLAG_QSCALE);
    EXPECT_EQ(videoEncoder->sample_rate, 0);

    AvCodecContextPtr audioDecoder(avcodec_alloc_context3(nullptr));
    const int64_t defaultRate = audioDecoder->bit_rate;
    engine_.ApplyGenericOptions(audioDecoder.get(), g.Codec(AVMEDIA_TYPE_AUDIO),
                                AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
    EXPECT_EQ(audioDecoder->sample_rate, 22050);
    EXPECT_EQ(audioDecoder->bit_rate, defaultRate);
    // Flag sets travel as text and come back whole.
    EXPECT_TRUE(audioDecoder->flags & AV_CODEC_FLAG_QSCALE);

    AvFormatContextPtr input(avformat_alloc_context());
    engine_.ApplyGenericOptions(input.get(), g.Container(), AV_OPT_FLAG_DECODING_PARAM);
    EXPECT_TRUE(input->flags & AVFMT_FLAG_GENPTS);

    // A source that lacks the options copies nothing.
    AvCodecContextPtr untouched(avcodec_alloc_context3(nullptr));
    engine_.ApplyGenericOptions(untouched.get(), g.Container(), 0);
    EXPECT_EQ(untouched->gop_size, AvCodecContextPtr(avcodec_alloc_context3(nullptr))->gop_size);
}

} // namespace
} // namespace quovo
