#include "TOptionBuilder.h"

#include "DVDTypes.h"
#include "TFFLogger.h"

#include "FormatsTestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;

using TValues = std::map<std::string, std::string>;

// The stored choices of the whole-record example; tests change what they need.
TValues IpodChoices() {
    return {{"paraVideoEncoder", "mpeg4"}, {"paraVideoSize", "320x240"},
            {"paraVideoBitRate", "768"},   {"paraFrameRate", "29.97"},
            {"paraZoom", "full"},          {"paraAudioEncoder", "libfaac"},
            {"paraSampleRate", "44100"},   {"paraAudioBitRate", "128"},
            {"paraChannel", "2"},          {"paraVolume", "256"}};
}

class TOptionBuilderTest : public ::testing::Test {
protected:
    enum TVariant { File, DVD };

    // Format 7's Format and stored choices, from an empty section.
    void Store(const std::string& format, const TValues& choices) {
        formats_.WriteString("formatInfo7", "Format", format);
        std::vector<std::pair<std::string, std::string>> values(choices.begin(), choices.end());
        dir_.WriteFile("quovo.ini", "");
        settings_.WriteValues("formatInfo7", values);
        input_ = TInputOptions();
    }

    TOutputOptions BuildFile(const std::string& format, const TValues& choices,
                             const TSourcePicture& source, const TRowEdits& row,
                             TOutputOptions out = {}) {
        Store(format, choices);
        TOptionBuilder(settings_, formats_, dialogs_)
            .BuildOutputOptions(row, 7, out, source, input_);
        return out;
    }

    TOutputOptions Build(const std::string& format, const TValues& choices, int sw, int sh,
                         const TRowEdits& row = {}, TVariant variant = File,
                         TOutputOptions out = {}) {
        if (variant == File) {
            TSourcePicture source{sw > 0 || sh > 0 ? 1 : 0, sw, sh, 2500000};
            return BuildFile(format, choices, source, row, out);
        }
        // Square pixels: the title record's own shape is tested on its own.
        Store(format, choices);
        TOptionBuilder(settings_, formats_, dialogs_)
            .BuildDVDOutputOptions(row, 7, out, sw, sh, input_);
        return out;
    }

    TScratchFolder dir_;
    TIniStore settings_{dir_ / "quovo.ini"};
    TIniStore formats_{dir_ / "quovoformat.ini"};
    TRecordingDialogs dialogs_;
    TInputOptions input_;
};

// Every field of the record, so that "every other field stays unset" is checked too.
void ExpectSame(const TOutputOptions& a, const TOutputOptions& b) {
#define SAME(f) EXPECT_EQ(a.f, b.f) << #f
    SAME(FileName);
    SAME(FileFormat);
    SAME(PacketSize);
    SAME(MuxRate);
    SAME(MuxDelay);
    SAME(MuxPreload);
    SAME(AudioCodec);
    SAME(AudioPreset);
    SAME(DisableAudio);
    SAME(AudioVolume);
    SAME(AudioChannels);
    SAME(AudioSampleRate);
    SAME(AudioBitrate);
    SAME(AudioBitrateTolerance);
    SAME(AudioLanguage);
    SAME(AudioSync);
    SAME(AudioTag);
    SAME(VideoCodec);
    SAME(VideoPreset);
    SAME(DisableVideo);
    SAME(FrameRate);
    SAME(FrameSize);
    SAME(FrameAspect);
    SAME(CropTop);
    SAME(CropBottom);
    SAME(CropLeft);
    SAME(CropRight);
    SAME(GopSize);
    SAME(VideoBitrate);
    SAME(VideoMaxRate);
    SAME(VideoMinRate);
    SAME(VideoBitrateTolerance);
    SAME(VideoBufSize);
    SAME(VideoSync);
    SAME(VideoTag);
    SAME(VideoFilters);
    SAME(VideoLanguage);
    SAME(SubtitleCodec);
    SAME(SubtitlePreset);
    SAME(DisableSubtitle);
    SAME(SubtitleLanguage);
    SAME(InputSync);
    SAME(CopyTimestamps);
    SAME(StartTime);
    SAME(RecordingTime);
    SAME(TargetType);
    SAME(TargetNorm);
    SAME(TargetDefaultNorm);
    SAME(CustomHook);
    SAME(Join);
    SAME(ExtOptions);
#undef SAME
}

TEST_F(TOptionBuilderTest, WholeRecordOfTheIpodExample) {
    TOutputOptions out = Build("ipod", IpodChoices(), 720, 480);
    TOutputOptions expected;
    expected.FileFormat = "ipod";
    expected.VideoCodec = "mpeg4";
    expected.VideoBitrate = 768000;
    expected.FrameRate = "29.97";
    expected.FrameSize = "320x240";
    expected.FrameAspect = "320:240";
    expected.CropTop = expected.CropBottom = expected.CropLeft = expected.CropRight = 0;
    expected.AudioCodec = "libfaac";
    expected.AudioChannels = 2;
    expected.AudioSampleRate = 44100;
    expected.AudioBitrate = 128000;
    ExpectSame(out, expected);
    EXPECT_TRUE(input_.ExtOptions.empty());
    EXPECT_TRUE(dialogs_.Questions.empty());
}

TEST_F(TOptionBuilderTest, Fitting) {
    struct Case {
        const char* name;
        TVariant variant;
        int sw, sh;
        const char* size;
        TRowEdits row;
        const char* frameSize;
        const char* aspect;
        const char* filters;
        int cropTop, cropBottom, cropLeft, cropRight;
    } cases[] = {
        {"lbox 720x480, case D, wide",
         File,
         720,
         480,
         "320x240",
         {"lbox"},
         "",
         "",
         "crop=0:0:720:480,scale=320:212,pad=320:240:0:14",
         0,
         0,
         0,
         0},
        {"lbox 720x480 of a DVD title",
         DVD,
         720,
         480,
         "320x240",
         {"lbox"},
         "320x212",
         "320:212",
         "pad=320:240:0:14",
         0,
         0,
         0,
         0},
        {"lbox 720x576, case D, tall",
         File,
         720,
         576,
         "320x240",
         {"lbox"},
         "",
         "",
         "crop=0:0:720:576,scale=300:240,pad=320:240:10:0",
         0,
         0,
         0,
         0},
        {"lbox same size",
         File,
         640,
         480,
         "640x480",
         {"lbox"},
         "640x480",
         "640:480",
         "crop=0:0:640:480,scale=640:480,pad=640:480:0:0",
         0,
         0,
         0,
         0},
        {"lbox same size of a DVD title",
         DVD,
         720,
         480,
         "720x480",
         {"lbox"},
         "720x480",
         "720:480",
         "pad=720:480:0:0",
         0,
         0,
         0,
         0},
        {"lbox case A",
         File,
         720,
         200,
         "640x480",
         {"lbox"},
         "",
         "",
         "crop=0:0:720:200,scale=640:176,pad=640:480:0:152",
         0,
         0,
         0,
         0},
        {"lbox case B",
         File,
         200,
         720,
         "480x640",
         {"lbox"},
         "",
         "",
         "crop=0:0:200:720,scale=176:640,pad=480:640:152:0",
         0,
         0,
         0,
         0},
        {"lbox case C, enlarging",
         File,
         320,
         240,
         "1280x720",
         {"lbox"},
         "",
         "",
         "crop=0:0:320:240,scale=960:720,pad=1280:720:160:0",
         0,
         0,
         0,
         0},
        {"lbox with crop",
         File,
         720,
         480,
         "320x240",
         {"lbox", 10, 10, 8, 0},
         "",
         "",
         "crop=8:10:712:460,scale=320:208,pad=320:240:0:16",
         0,
         0,
         0,
         0},
        {"lbox with crop of a DVD title",
         DVD,
         720,
         480,
         "320x240",
         {"lbox", 10, 10, 0, 0},
         "",
         "320:204",
         "crop=0:10:720:460,scale=320:204,pad=320:240:0:18",
         0,
         0,
         0,
         0},
        {"full with crop",
         File,
         720,
         480,
         "320x240",
         {"full", 4, 6, 8, 10},
         "320x240",
         "320:240",
         "",
         4,
         6,
         8,
         10},
        {"pan 1280x720",
         File,
         1280,
         720,
         "320x240",
         {"pan"},
         "320x240",
         "320:240",
         "",
         0,
         0,
         160,
         160},
        {"pan 1280x720 with left crop",
         File,
         1280,
         720,
         "320x240",
         {"pan", 0, 0, 10, 0},
         "320x240",
         "320:240",
         "",
         0,
         0,
         170,
         170},
        {"pan 4:3 source",
         File,
         640,
         480,
         "320x240",
         {"pan"},
         "320x240",
         "320:240",
         "",
         0,
         0,
         0,
         0},
        {"pan tall source",
         File,
         640,
         500,
         "320x240",
         {"pan"},
         "320x240",
         "320:240",
         "",
         10,
         10,
         0,
         0},
        {"pan never crops the whole picture",
         File,
         100,
         1000,
         "320x240",
         {"pan"},
         "320x240",
         "320:240",
         "",
         462,
         462,
         0,
         0},
        {"center 720x480",
         File,
         720,
         480,
         "320x240",
         {"center"},
         "",
         "320:240",
         "pad=720:540:0:30:black,scale=320:240",
         0,
         0,
         0,
         0},
        {"center with crop",
         File,
         720,
         576,
         "640x360",
         {"center", 0, 0, 0, 0},
         "",
         "640:360",
         "pad=1024:576:152:0:black,scale=640:360",
         0,
         0,
         0,
         0},
        {"center of a DVD title does nothing",
         DVD,
         720,
         480,
         "320x240",
         {"center"},
         "",
         "",
         "",
         0,
         0,
         0,
         0},
        {"unknown zoom does nothing", File, 720, 480, "320x240", {""}, "", "", "", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TValues choices = IpodChoices();
        choices["paraVideoSize"] = c.size;
        TOutputOptions out = Build("mp4", choices, c.sw, c.sh, c.row, c.variant);
        EXPECT_EQ(out.FrameSize, c.frameSize);
        EXPECT_EQ(out.FrameAspect, c.aspect);
        EXPECT_EQ(out.VideoFilters, c.filters);
        EXPECT_EQ(out.CropTop, c.cropTop);
        EXPECT_EQ(out.CropBottom, c.cropBottom);
        EXPECT_EQ(out.CropLeft, c.cropLeft);
        EXPECT_EQ(out.CropRight, c.cropRight);
    }
}

TEST_F(TOptionBuilderTest, FiltersAreAppendedAndDvdCropsUsedByPan) {
    TOutputOptions before;
    before.VideoFilters = "yadif";
    TOutputOptions out = Build("mp4", IpodChoices(), 720, 480, {"lbox"}, File, before);
    EXPECT_EQ(out.VideoFilters, "yadif,crop=0:0:720:480,scale=320:212,pad=320:240:0:14");

    // The DVD job put the row's crop into the record already: pan measures what is left.
    before = TOutputOptions();
    before.CropLeft = before.CropRight = 40;
    out = Build("mp4", IpodChoices(), 1280, 720, {"pan", 0, 0, 40, 40}, DVD, before);
    // w2 = 1200: each side loses (1200 - 4/3 * 720) / 2 = 120, and the row's 40.
    EXPECT_EQ(out.CropLeft, 160);
    EXPECT_EQ(out.CropRight, 160);
}

// Sources whose pixels are not square are fitted by what they show, and keep their shape.
TEST_F(TOptionBuilderTest, AnamorphicSourcesKeepTheirShape) {
    struct Case {
        const char* name;
        int sw, sh, sarNum, sarDen;
        const char* zoom;
        const char* size;
        const char* frameSize;
        const char* aspect;
        const char* filters;
        int cropTop, cropLeft;
    } cases[] = {
        {"PAL 16:9 letterboxed", 720, 576, 64, 45, "lbox", "320x240", "", "720:576",
         "crop=0:0:720:576,scale=320:180,pad=320:240:0:30", 0, 0},
        {"PAL 4:3 fills the frame", 720, 576, 16, 15, "lbox", "320x240", "", "720:576",
         "crop=0:0:720:576,scale=320:240,pad=320:240:0:0", 0, 0},
        {"NTSC 4:3 fills the frame", 720, 480, 8, 9, "lbox", "320x240", "", "720:480",
         "crop=0:0:720:480,scale=320:240,pad=320:240:0:0", 0, 0},
        {"NTSC 16:9 pan cuts the sides", 720, 480, 32, 27, "pan", "320x240", "320x240", "320:240",
         "", 0, 90},
        {"as source keeps the pixels' shape", 720, 576, 64, 45, "full", "as source", "720x576",
         "16:9", "", 0, 0},
        {"a size equal to the source's keeps it too", 720, 576, 16, 15, "lbox", "720x576",
         "720x576", "4:3", "crop=0:0:720:576,scale=720:576,pad=720:576:0:0", 0, 0},
        {"pan at the source's size shows 4:3", 720, 576, 64, 45, "pan", "as source", "720x576",
         "4:3", "", 0, 90},
        {"another size gets square pixels", 720, 576, 64, 45, "full", "640x360", "640x360",
         "640:360", "", 0, 0},
        {"no size at all", 0, 0, 64, 45, "full", "as source", "0x0", "0:0", "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TValues choices = IpodChoices();
        choices["paraVideoSize"] = c.size;
        TOutputOptions out =
            BuildFile("mp4", choices, {1, c.sw, c.sh, -1, c.sarNum, c.sarDen}, {c.zoom});
        EXPECT_EQ(out.FrameSize, c.frameSize);
        EXPECT_EQ(out.FrameAspect, c.aspect);
        EXPECT_EQ(out.VideoFilters, c.filters);
        EXPECT_EQ(out.CropTop, c.cropTop);
        EXPECT_EQ(out.CropLeft, c.cropLeft);
        EXPECT_EQ(out.CropRight, c.cropLeft);
    }
}

// A DVD title's shape comes from its display aspect: a 16:9 PAL title letterboxes to 320x180,
// a 4:3 one fills 320x240, and a disc target takes its 16:9 flag from the title.
TEST_F(TOptionBuilderTest, DvdTitlesTakeTheirShapeFromTheirDisplayAspect) {
    struct Case {
        int width, height, displayAspect;
        const char* frameSize;
        const char* filters;
    } cases[] = {
        {720, 576, 3, "320x180", "pad=320:240:0:30"},
        {720, 576, 0, "320x240", "pad=320:240:0:0"},
        {720, 480, 0, "320x240", "pad=320:240:0:0"},
        {720, 480, 3, "320x180", "pad=320:240:0:30"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.height) + " " + std::to_string(c.displayAspect));
        Store("mp4", IpodChoices());
        DVDTitleInfo title{};
        title.Width = c.width;
        title.Height = c.height;
        title.DisplayAspect = c.displayAspect;
        TOutputOptions out;
        TOptionBuilder(settings_, formats_, dialogs_)
            .BuildDVDOutputOptions({"lbox"}, 7, out, title, input_);
        EXPECT_EQ(out.FrameSize, c.frameSize);
        EXPECT_EQ(out.VideoFilters, c.filters);

        formats_.WriteString("formatInfo7", "Format", "pal-dvd");
        settings_.WriteString("formatInfo7", "paraVideoSize", "352x576");
        out = TOutputOptions();
        TOptionBuilder(settings_, formats_, dialogs_)
            .BuildDVDOutputOptions({"full"}, 7, out, title, input_);
        EXPECT_EQ(out.FrameAspect, c.displayAspect == 3 ? "16:9" : "4:3");
    }
}

// Pan and scan keeps an area that shows 4:3 on screen, whatever the pixels' shape.
TEST_F(TOptionBuilderTest, PanKeepsAFourThreeDisplayArea) {
    struct Case {
        const char* name;
        int sw, sh, sarNum, sarDen;
        int cropTop, cropLeft; // each side, the opposite one the same
    } cases[] = {
        {"720x480 square pixels", 720, 480, 1, 1, 0, 40},
        {"1280x720 square pixels", 1280, 720, 1, 1, 0, 160},
        {"unknown pixel shape is square", 1280, 720, 0, 1, 0, 160},
        {"PAL 16:9 (64:45) loses its sides", 720, 576, 64, 45, 0, 90},
        {"PAL 4:3 (16:15) is already 4:3", 720, 576, 16, 15, 0, 0},
        {"NTSC 16:9 (32:27) loses its sides", 720, 480, 32, 27, 0, 90},
        {"NTSC 4:3 (8:9) is already 4:3", 720, 480, 8, 9, 0, 0},
        {"tall square pixels lose top and bottom", 480, 720, 1, 1, 180, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TOutputOptions out =
            BuildFile("mp4", IpodChoices(), {1, c.sw, c.sh, -1, c.sarNum, c.sarDen}, {"pan"});
        EXPECT_EQ(out.CropTop, c.cropTop);
        EXPECT_EQ(out.CropBottom, c.cropTop);
        EXPECT_EQ(out.CropLeft, c.cropLeft);
        EXPECT_EQ(out.CropRight, c.cropLeft);
        EXPECT_EQ(out.FrameSize, "320x240");
    }
}

TEST_F(TOptionBuilderTest, TargetSize) {
    struct Case {
        const char* codec;
        const char* size; // nullptr: no stored size
        bool answer;
        const char* frameSize;
        bool asked;
    } cases[] = {
        {"mpeg4", "640x", true, "320x240", true},
        {"mpeg4", "x480", false, "720x480", true},
        // No stored size is the one default size, and no question.
        {"mpeg4", nullptr, false, "320x240", false},
        {"mpeg4", "abcx480", true, "720x480", false},
        {"mpeg4", "640xabc", true, "640x480", false},
        {"mpeg4", "as source", true, "720x480", false},
        {"h263", "400x300", true, "704x576", false},
        {"h263", "176x144", true, "176x144", false},
        {"h263", "200x150", true, "352x288", false},
        {"h263", "352x288", true, "352x288", false},
        {"h263", "800x600", true, "704x576", false},
        {"h263", "160x120", true, "176x144", false},
        {"h263", "100x80", true, "128x96", false},
        {"h263p", "400x300", true, "400x300", false},
        {"h263", "as source", true, "704x576", false}, // the 720x480 source
        {"h263", nullptr, false, "352x288", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + " " + (c.size ? c.size : "(none)"));
        TValues choices = IpodChoices();
        choices["paraVideoEncoder"] = c.codec;
        if (c.size) {
            choices["paraVideoSize"] = c.size;
        } else {
            choices.erase("paraVideoSize");
        }
        dialogs_.Questions.clear();
        dialogs_.Answer = c.answer;
        TOutputOptions out = Build("3gp", choices, 720, 480);
        EXPECT_EQ(out.FrameSize, c.frameSize);
        ASSERT_EQ(dialogs_.Questions.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(dialogs_.Questions[0].Title, "Warning");
            EXPECT_EQ(dialogs_.Questions[0].Text,
                      "Error output Video Size.Use the default size 320x240?");
        }
    }
}

TEST_F(TOptionBuilderTest, DiscTargets) {
    struct Case {
        const char* format;
        const char* size;
        int type, norm;
        const char* aspect;
    } cases[] = {
        {"ntsc-dvd", "720x480", 3, 2, "16:9"}, {"ntsc-dvd", "352x480", 3, 2, "4:3"},
        {"NTSC-DVD", "720x480", 3, 2, "16:9"}, {"pal-dvd", "720x576", 3, 1, "16:9"},
        {"pal-dvd", "720x480", 3, 1, "4:3"},   {"ntsc-vcd", "720x480", 1, 2, "4:3"},
        {"pal-vcd", "352x288", 1, 1, "4:3"},   {"ntsc-svcd", "480x480", 2, 2, "4:3"},
        {"pal-svcd", "480x576", 2, 1, "4:3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.size);
        TValues choices = IpodChoices();
        choices["paraVideoSize"] = c.size;
        TOutputOptions out = Build(c.format, choices, 720, 480);
        TOutputOptions expected;
        expected.TargetType = c.type;
        expected.TargetNorm = c.norm;
        expected.FrameAspect = c.aspect;
        ExpectSame(out, expected); // the file variant stops there

        out = Build(c.format, choices, 720, 480, {"full"}, DVD);
        EXPECT_EQ(out.TargetType, c.type);
        EXPECT_EQ(out.VideoCodec, "mpeg4") << "the DVD variant goes on";
        EXPECT_EQ(out.FrameAspect,
                  std::string(c.size).replace(std::string(c.size).find('x'), 1, ":"));
    }
}

TEST_F(TOptionBuilderTest, CodecsPresetsAndBitRates) {
    struct Case {
        const char* format;
        const char* encoder;
        const char* codec;
        const char* preset;
        int target;
        const char* fileFormat;
    } cases[] = {
        {"psp", "libx264", "libx264", "libx264-psp", 0, "psp"},
        {"ipod", "libx264", "libx264", "libx264-ipod", 0, "ipod"},
        {"ps3", "libx264", "libx264", "libx264-ps3", 0, ""},
        {"mp4", "libx264", "libx264", "libx264-mp4", 0, ""},
        {"mpegts", "mpeg2video", "mpeg2video", "", 0, "mpegts"},
        {"flv", "flv", "", "", 0, "flv"},
        {"asf", "wmv3", "", "", 0, ""},
        {"MOV", "mjpeg", "mjpeg", "", 0, "MOV"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoder);
        TValues choices = IpodChoices();
        choices["paraVideoEncoder"] = c.encoder;
        TOutputOptions out = Build(c.format, choices, 720, 480);
        EXPECT_EQ(out.VideoCodec, c.codec);
        EXPECT_EQ(out.VideoPreset, c.preset);
        EXPECT_EQ(out.TargetType, c.target);
        EXPECT_EQ(out.FileFormat, c.fileFormat);
        EXPECT_FALSE(out.DisableVideo);
    }

    // MPEG-2 makes a DVD only for DVD formats: program streams offering no size beyond 720x576.
    struct Disc {
        const char* format;
        const char* offeredSizes; // nullptr: none listed
        int target;
    } discs[] = {
        {"vob", "720x480,720x576,as source", 3},
        {"vob", "1920x1080,1280x720,as source", 0},
        {"VOB", nullptr, 3},
        {"vob", "720x480,1280x720", 0},
        {"mpegts", "720x480,720x576", 0},
        {"mpeg", "720x576", 0},
    };
    for (const Disc& d : discs) {
        SCOPED_TRACE(std::string(d.format) + " " + (d.offeredSizes ? d.offeredSizes : "-"));
        dir_.WriteFile("quovoformat.ini", "");
        if (d.offeredSizes) {
            formats_.WriteString("formatInfo7", "VideoSize", d.offeredSizes);
        }
        TValues choices = IpodChoices();
        choices["paraVideoEncoder"] = "mpeg2video";
        for (TVariant variant : {File, DVD}) {
            EXPECT_EQ(Build(d.format, choices, 720, 480, {}, variant).TargetType, d.target);
        }
    }
    dir_.WriteFile("quovoformat.ini", "");

    struct Rate {
        const char* text;
        TVariant variant;
        int expected;
    } rates[] = {{"768", File, 768000},  {"as source", File, 2500000},
                 {"abc", File, 2500000}, {"0", File, -1},
                 {"-5", File, -1},       {"768", DVD, 768000},
                 {"as source", DVD, -1}, {"abc", DVD, -1},
                 {"99999999", File, -1}};
    for (const Rate& r : rates) {
        SCOPED_TRACE(r.text);
        TValues choices = IpodChoices();
        choices["paraVideoBitRate"] = r.text;
        EXPECT_EQ(Build("mp4", choices, 720, 480, {}, r.variant).VideoBitrate, r.expected);
    }
    // Missing: 512.
    TValues choices = IpodChoices();
    choices.erase("paraVideoBitRate");
    choices.erase("paraFrameRate");
    TOutputOptions out = Build("mp4", choices, 720, 480);
    EXPECT_EQ(out.VideoBitrate, 768000); // the one default bit rate
    EXPECT_EQ(out.FrameRate, "29.97");
    for (const char* fps : {"as source", "0", "fast"}) {
        choices["paraFrameRate"] = fps;
        EXPECT_EQ(Build("mp4", choices, 720, 480).FrameRate, "") << fps;
    }
}

TEST_F(TOptionBuilderTest, Sound) {
    struct Case {
        const char* key;
        const char* value; // nullptr: key missing
        const char* codec;
        bool disabled;
        int channels, rate, bitrate, volume;
    } cases[] = {
        {"paraAudioBitRate", "96", "libfaac", false, 2, 44100, 96000, -1},
        {"paraAudioBitRate", "12.2", "libfaac", false, 2, 44100, 12200, -1},
        {"paraAudioBitRate", "as source", "libfaac", false, 2, 44100, -1, -1},
        {"paraAudioBitRate", nullptr, "libfaac", false, 2, 44100, 128000, -1},
        {"paraVolume", "128", "libfaac", false, 2, 44100, 128000, 128},
        {"paraVolume", nullptr, "libfaac", false, 2, 44100, 128000, -1},
        {"paraVolume", "loud", "libfaac", false, 2, 44100, 128000, -1},
        {"paraChannel", "as source", "libfaac", false, -1, 44100, 128000, -1},
        {"paraChannel", "1", "libfaac", false, 1, 44100, 128000, -1},
        {"paraChannel", nullptr, "libfaac", false, 2, 44100, 128000, -1},
        {"paraSampleRate", "as source", "libfaac", false, 2, -1, 128000, -1},
        {"paraSampleRate", "-8000", "libfaac", false, 2, -1, 128000, -1},
        // AMR is narrow-band mono at 8 kHz whatever was stored.
        {"paraAudioEncoder", "libamr_nb", "libopencore_amrnb", false, 1, 8000, 128000, -1},
        {"paraAudioEncoder", "  ", "", true, 2, 44100, 128000, -1},
        {"paraAudioEncoder", nullptr, "", true, 2, 44100, 128000, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + (c.value ? c.value : "(missing)"));
        TValues choices = IpodChoices();
        if (c.value) {
            choices[c.key] = c.value;
        } else {
            choices.erase(c.key);
        }
        TOutputOptions out = Build("mp4", choices, 720, 480);
        EXPECT_EQ(out.AudioCodec, c.codec);
        EXPECT_EQ(out.DisableAudio, c.disabled);
        EXPECT_EQ(out.AudioChannels, c.channels);
        EXPECT_EQ(out.AudioSampleRate, c.rate);
        EXPECT_EQ(out.AudioBitrate, c.bitrate);
        EXPECT_EQ(out.AudioVolume, c.volume);
    }
}

TEST_F(TOptionBuilderTest, AudioOnlyFormatsAndSourcesWithoutPicture) {
    // No stored video encoder: the format converts sound only, with the one defaults (no stored
    // audio encoder leaves the container's own).
    TOutputOptions out = Build("mp4", {{"paraVideoSize", "320x240"}}, 720, 480);
    TOutputOptions expected;
    expected.AudioChannels = 2;
    expected.AudioSampleRate = 44100;
    expected.AudioBitrate = 128000;
    expected.DisableVideo = true;
    expected.DisableSubtitle = true;
    ExpectSame(out, expected);
    EXPECT_EQ(input_.ExtOptions, "vn=1");

    TValues mp3 = {{"paraVideoEncoder", " "},
                   {"paraAudioEncoder", "libmp3lame"},
                   {"paraChannel", "as source"},
                   {"paraAudioBitRate", "192"},
                   {"paraVolume", "384"}};
    out = Build("mp3", mp3, 0, 0);
    EXPECT_EQ(out.AudioCodec, "libmp3lame");
    EXPECT_EQ(out.AudioChannels, -1);
    EXPECT_EQ(out.AudioBitrate, 192000);
    EXPECT_EQ(out.AudioVolume, 384);
    EXPECT_TRUE(out.DisableVideo);

    // A video format given a source without pictures: no picture options, sound as usual.
    out = Build("ipod", IpodChoices(), 0, 0);
    EXPECT_TRUE(out.DisableVideo);
    EXPECT_EQ(out.VideoCodec, "mpeg4");
    EXPECT_EQ(out.FrameSize, "");
    EXPECT_EQ(out.VideoBitrate, -1);
    EXPECT_EQ(out.CropTop, -1);
    EXPECT_EQ(out.AudioBitrate, 128000);
    EXPECT_TRUE(input_.ExtOptions.empty());
    EXPECT_TRUE(dialogs_.Questions.empty());
}

// What an encoder or container cannot take moves to the nearest value it can, "as source" meaning
// the source's value, with one log line per move.
TEST_F(TOptionBuilderTest, ChoicesAnEncoderCannotTakeMoveToTheNearest) {
    struct Case {
        const char* format;
        const char* codec;
        const char *rate, *bitRate, *channels; // stored
        int sourceRate, sourceChannels, sourceBitRate;
        int rateOut, bitRateOut, channelsOut; // -1: left to the engine
        int lines;
    } cases[] = {
        // clang-format off
        {"mp4",    "ac3",        "as source", "192",       "2",         22050, 2, 128000,  32000, 192000,  2, 1},
        {"mp4",    "ac3",        "44100",     "100",       "2",         22050, 2, 128000,  44100, 96000,   2, 1},
        {"mp4",    "mp2",        "22050",     "224",       "2",         44100, 2, 128000,  22050, 160000,  2, 1},
        {"mpeg",   "mp2",        "22050",     "224",       "2",         44100, 2, 128000,  32000, 224000,  2, 1},
        {"mpegts", "mp2",        "as source", "as source", "as source", 48000, 2, 256000,  -1,    256000,  -1, 0},
        {"mpegts", "mp2",        "as source", "as source", "as source", 48000, 6, 448000,  -1,    384000,  2, 2},
        {"mpegts", "ac3",        "as source", "as source", "as source", 44100, 2, -1,      -1,    -1,      -1, 0},
        {"flv",    "libmp3lame", "as source", "as source", "2",         48000, 2, 128000,  44100, 128000,  2, 1},
        {"mp4",    "libmp3lame", "22050",     "320",       "2",         44100, 2, 128000,  22050, 160000,  2, 1},
        {"mp4",    "libfaac",    "as source", "as source", "as source", 44100, 2, 1411200, -1,    320000,  -1, 1},
        {"wav",    "pcm_s16le",  "as source", "as source", "as source", 44100, 2, 1411200, -1,    -1,      -1, 0},
        // clang-format on
    };
    std::vector<std::string> lines;
    FFLogger()->SetTriggerEventInMainThread(false);
    FFLogger()->SetLevelByName("warning");
    FFLogger()->SetOnLog(
        [&](TFFBaseComponent*, uint32_t, TLogLevel, const std::string& m) { lines.push_back(m); });
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.codec + " " + c.rate + " " + c.bitRate + " " +
                     c.channels + " from " + std::to_string(c.sourceRate));
        TValues choices = IpodChoices();
        choices["paraAudioEncoder"] = c.codec;
        choices["paraSampleRate"] = c.rate;
        choices["paraAudioBitRate"] = c.bitRate;
        choices["paraChannel"] = c.channels;
        TSourcePicture source{1, 720, 480, 2500000};
        source.AudioSampleRate = c.sourceRate;
        source.AudioChannels = c.sourceChannels;
        source.AudioBitRate = c.sourceBitRate;
        lines.clear();
        TOutputOptions out = BuildFile(c.format, choices, source, {});
        EXPECT_EQ(out.AudioSampleRate, c.rateOut);
        EXPECT_EQ(out.AudioBitrate, c.bitRateOut);
        EXPECT_EQ(out.AudioChannels, c.channelsOut);
        EXPECT_EQ(static_cast<int>(lines.size()), c.lines) << (lines.empty() ? "" : lines[0]);
    }

    // MPEG-1 and MPEG-2 pictures come at a few rates only; a DVD is PAL or NTSC.
    struct Rate {
        const char* format;
        const char* codec;
        const char* size;
        const char* fps;
        int sourceFps;
        const char* fpsOut;
        int norm;
    } rates[] = {
        {"mpeg", "mpeg1video", "352x240", "15", 30, "15", 0},
        {"mpeg", "mpeg1video", "352x240", "as source", 30, "", 0},
        {"mpeg", "mpeg1video", "352x240", "as source", 100, "60", 0},
        {"vob", "mpeg2video", "720x576", "as source", 30, "", 1},
        {"vob", "mpeg2video", "720x480", "as source", 30, "", 2},
        {"vob", "mpeg2video", "as source", "25", 30, "25", 1},
        {"vob", "mpeg2video", "as source", "as source", 24, "", 2},
    };
    for (const Rate& r : rates) {
        SCOPED_TRACE(std::string(r.codec) + " " + r.size + " " + r.fps);
        TValues choices = IpodChoices();
        choices["paraVideoEncoder"] = r.codec;
        choices["paraVideoSize"] = r.size;
        choices["paraFrameRate"] = r.fps;
        TSourcePicture source{1, 720, 480, 2500000};
        source.FrameRateNum = r.sourceFps;
        TOutputOptions out = BuildFile(r.format, choices, source, {});
        EXPECT_EQ(out.FrameRate, r.fpsOut);
        EXPECT_EQ(out.TargetNorm, r.norm);
    }
    FFLogger()->SetOnLog(nullptr);
    FFLogger()->SetLevelByName("quiet");
}

} // namespace
} // namespace quovo
