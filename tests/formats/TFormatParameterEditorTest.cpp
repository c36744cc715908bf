#include "TFormatParameterEditor.h"
#include "TSettingsDialogModel.h"

#include "FormatsTestSupport.h"

#include <gtest/gtest.h>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;

const char* const kFormatFile = R"([formatInfo7]
Format=ipod
FileExt=mp4
VideoSize=320x240,640x480,as source
VideoBitRate=768,512,as source
FrameRate=29.97,25,as source
VideoEncoder=mpeg-4,h264,3gp
AudioBitRate=128,96,as source
SampleRate=44100,48000
AudioEncoder=aac,mp3,wav
Channel=stereo 2 channels,mono 1 channel,as source,both
Volume=100%,150%,110%,loud%
iVideoSize=1
iVideoBitRate=0
iFrameRate=1
iVideoEncoder=0
iAudioBitRate=1
iSampleRate=1
iAudioEncoder=0
iChannel=0
iVolume=0
paraBitExact=true
paraMaxBitrate=1500
paraBufferSize=0
paraLevel=30
paraGop=300
paraCoder=0

[formatInfo2400]
Format=mp3
FileExt=mp3
VideoSize=null
VideoBitRate=null
FrameRate=null
VideoEncoder=null
AudioBitRate=192,128
SampleRate=44100
AudioEncoder=mp3
Channel=stereo 2 channels
Volume=100%
iAudioBitRate=0

[formatInfo9]
VideoSize=331x240,as source
VideoBitRate=abc,768
VideoEncoder=mpeg-4
AudioEncoder=
)";

class TFormatParameterEditorTest : public ::testing::Test {
protected:
    void SetUp() override { dir_.WriteFile("quovoformat.ini", kFormatFile); }
    std::string Stored(const char* key, int code = 7) {
        return settings_.ReadString("formatInfo" + std::to_string(code), key, "<missing>");
    }

    TScratchFolder dir_;
    TIniStore settings_{dir_ / "quovo.ini"};
    TIniStore formats_{dir_ / "quovoformat.ini"};
    TRecordingDialogs dialogs_;
    TFormatParameterEditor editor_{settings_, formats_, dialogs_, "Quovo"};
};

TEST_F(TFormatParameterEditorTest, FirstLoadStoresTheDefaultsAndFillsTheBoxes) {
    editor_.Load(7);
    EXPECT_TRUE(dialogs_.Messages.empty());
    struct Case {
        const char* key;
        const char* value;
    } stored[] = {
        {"paraVideoEncoder", "mpeg4"}, {"iVideoEncoder", "0"},
        {"paraVideoSize", "640x480"},  {"iVideoSize", "1"},
        {"paraFrameRate", "25"},       {"paraVideoBitRate", "768"},
        {"paraZoom", "lbox"},          {"paraAudioEncoder", "libfaac"},
        {"paraAudioBitRate", "96"},    {"paraSampleRate", "48000"},
        {"paraChannel", "2"},          {"paraVolume", "256"},
        {"paraBitExact", "<missing>"},
    };
    for (const Case& c : stored) {
        EXPECT_EQ(Stored(c.key), c.value) << c.key;
    }
    EXPECT_EQ(editor_.VideoSize.Items.size(), 3u);
    EXPECT_EQ(editor_.VideoSize.Text, "640x480");
    EXPECT_EQ(editor_.VideoSize.Index, 1);
    EXPECT_EQ(editor_.FrameRate.Text, "25");
    EXPECT_EQ(editor_.Zoom.Index, 1); // "Letter Box"
    EXPECT_TRUE(editor_.VideoEncoder.Enabled);
    EXPECT_FALSE(editor_.VideoEncoder.Grey);

    // A later load writes nothing and shows the stored choices.
    settings_.WriteString("formatInfo7", "paraVideoSize", "400x300");
    settings_.WriteString("formatInfo7", "paraZoom", "lbox");
    editor_.Load(7);
    EXPECT_EQ(editor_.VideoSize.Text, "400x300");
    EXPECT_EQ(editor_.VideoSize.Index, -1);
    EXPECT_EQ(editor_.Zoom.Index, 1);
    EXPECT_EQ(Stored("paraVideoSize"), "400x300");
}

TEST_F(TFormatParameterEditorTest, AudioFormatHasItsVideoBoxesDisabledAndGrey) {
    editor_.Load(2400);
    for (const TParamBox* box : {&editor_.VideoSize, &editor_.VideoBitRate, &editor_.FrameRate,
                                 &editor_.VideoEncoder, &editor_.Zoom}) {
        EXPECT_FALSE(box->Enabled);
        EXPECT_TRUE(box->Grey);
    }
    EXPECT_TRUE(editor_.AudioEncoder.Enabled);
    EXPECT_TRUE(dialogs_.Messages.empty()) << "no frame-size message for a format without video";
    EXPECT_EQ(Stored("paraVideoEncoder", 2400), "<missing>");
    EXPECT_EQ(Stored("paraAudioEncoder", 2400), "libmp3lame");
    EXPECT_EQ(Stored("paraAudioBitRate", 2400), "192");

    // A code without a section in either file: every box empty and disabled, nothing written.
    editor_.Load(1234);
    EXPECT_TRUE(editor_.AudioEncoder.Items.empty());
    EXPECT_FALSE(editor_.AudioEncoder.Enabled);
    EXPECT_FALSE(settings_.SectionExists("formatInfo1234"));
    // An empty audio encoder list disables the box.
    editor_.Load(9);
    EXPECT_FALSE(editor_.AudioEncoder.Enabled);
}

TEST_F(TFormatParameterEditorTest, FrameSizeExit) {
    editor_.Load(7);
    dialogs_.Messages.clear();

    editor_.VideoSize.Text = "321x240";
    editor_.VideoSizeExit();
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Title, "Input Error!");
    EXPECT_EQ(dialogs_.Messages[0].Text,
              "Frame Size must be a multiple of 2.\nThe correct value:320x240");
    EXPECT_EQ(editor_.VideoSize.Text, "320x240");
    EXPECT_EQ(Stored("paraVideoSize"), "320x240");
    EXPECT_EQ(Stored("iVideoSize"), "0") << "320x240 is item 0";

    editor_.VideoSize.Text = "401x301";
    editor_.VideoSizeExit();
    EXPECT_EQ(Stored("paraVideoSize"), "400x300");
    EXPECT_EQ(Stored("iVideoSize"), "-1");

    // Typed "as source" is neither validated nor stored; chosen from the list it is stored.
    editor_.VideoSize.Text = "as source";
    editor_.VideoSizeExit();
    EXPECT_EQ(Stored("paraVideoSize"), "400x300");
    editor_.VideoSizeSelect(2);
    EXPECT_EQ(Stored("paraVideoSize"), "as source");
    EXPECT_EQ(Stored("iVideoSize"), "2");

    dialogs_.Messages.clear();
    editor_.VideoSize.Text = "640";
    editor_.VideoSizeExit();
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Text, "Frame Size is not a valid value!");
    EXPECT_EQ(dialogs_.Messages[0].Title, "Quovo");
    EXPECT_EQ(editor_.VideoSize.Text, "as source") << "the stored size shown again";
    EXPECT_EQ(Stored("paraVideoSize"), "as source") << "nothing stored";

    // Key filter with the box's current text.
    editor_.VideoSize.Text = "640x";
    EXPECT_FALSE(editor_.VideoSizeKeyPress('x'));
    EXPECT_EQ(dialogs_.Beeps, 1);
}

TEST_F(TFormatParameterEditorTest, NumberBoxes) {
    editor_.Load(7);
    dialogs_.Messages.clear();
    editor_.VideoBitRateChange("1200");
    EXPECT_EQ(Stored("paraVideoBitRate"), "1200");
    EXPECT_EQ(Stored("iVideoBitRate"), "-1");
    editor_.VideoBitRateChange("");
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Text, "Video BitRate is not a valid value!");
    EXPECT_EQ(editor_.VideoBitRate.Text, "1200"); // what a run uses
    EXPECT_EQ(Stored("paraVideoBitRate"), "1200");
    editor_.VideoBitRateChange("as source");
    EXPECT_EQ(Stored("paraVideoBitRate"), "as source");
    EXPECT_EQ(Stored("iVideoBitRate"), "2");

    editor_.AudioBitRateChange("12.2");
    EXPECT_EQ(Stored("paraAudioBitRate"), "12.2");
    editor_.AudioBitRateChange("12,2");
    EXPECT_EQ(dialogs_.Messages.back().Text, "Audio BitRate is not a valid value!");
    EXPECT_EQ(Stored("paraAudioBitRate"), "12.2");

    editor_.SampleRateChange("22050");
    EXPECT_EQ(Stored("paraSampleRate"), "22050");
    editor_.SampleRateChange("22.05");
    EXPECT_EQ(dialogs_.Messages.back().Text, "Audio SampleRate is not a valid value!");
    EXPECT_EQ(editor_.SampleRate.Text, "22050");
    EXPECT_EQ(Stored("paraSampleRate"), "22050");

    EXPECT_FALSE(editor_.NumericKeyPress('.'));
    EXPECT_EQ(dialogs_.Messages.back().Text, "Please enter numerical.");
    EXPECT_TRUE(editor_.NumericKeyPress('5'));
}

TEST_F(TFormatParameterEditorTest, ListBoxesStoreThroughTheirTables) {
    editor_.Load(7);
    dialogs_.Messages.clear();

    editor_.AudioEncoderChange(2); // "wav" is in no table: only the index is stored
    EXPECT_EQ(Stored("iAudioEncoder"), "2");
    EXPECT_EQ(Stored("paraAudioEncoder"), "libfaac");
    editor_.AudioEncoderChange(1);
    EXPECT_EQ(Stored("paraAudioEncoder"), "libmp3lame");

    editor_.VolumeChange(1);
    EXPECT_EQ(Stored("paraVolume"), "384");
    editor_.VolumeChange(2); // 110 %
    EXPECT_EQ(Stored("iVolume"), "2");
    EXPECT_EQ(Stored("paraVolume"), "384");
    editor_.VolumeChange(3); // "loud%": reported, index already written
    EXPECT_EQ(Stored("iVolume"), "3");
    EXPECT_EQ(Stored("paraVolume"), "384");
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Icon, TMessageIcon::Error);

    editor_.ChannelChange(1);
    EXPECT_EQ(Stored("paraChannel"), "1");
    editor_.ChannelChange(3); // "both"
    EXPECT_EQ(Stored("iChannel"), "3");
    EXPECT_EQ(Stored("paraChannel"), "1");

    editor_.ZoomChange(2);
    EXPECT_EQ(Stored("paraZoom"), "pan");
    editor_.FrameRateChange(2);
    EXPECT_EQ(Stored("paraFrameRate"), "as source");

    editor_.VideoEncoderChange(2); // "3gp" stores its name, no tuning copies
    EXPECT_EQ(Stored("paraVideoEncoder"), "3gp");
    EXPECT_EQ(Stored("paraGop"), "<missing>");
    editor_.VideoEncoderChange(1); // "h264" copies the qualifying tuning values
    EXPECT_EQ(Stored("paraVideoEncoder"), "libx264");
    EXPECT_EQ(Stored("paraBitExact"), "true");
    EXPECT_EQ(Stored("paraMaxBitrate"), "1500");
    EXPECT_EQ(Stored("paraBufferSize"), "<missing>") << "0 does not qualify";
    EXPECT_EQ(Stored("paraLevel"), "30");
    EXPECT_EQ(Stored("paraGop"), "300");
    EXPECT_EQ(Stored("paraCoder"), "0");
}

TEST_F(TFormatParameterEditorTest, DefaultRestoresTheFormatFileChoices) {
    editor_.Load(7);
    editor_.VideoEncoderChange(1);
    editor_.ZoomChange(2);
    editor_.VolumeChange(1);
    editor_.VideoBitRateChange("99");
    editor_.DefaultClick();
    EXPECT_EQ(Stored("paraVideoEncoder"), "mpeg4");
    EXPECT_EQ(Stored("paraZoom"), "lbox");
    EXPECT_EQ(Stored("paraVolume"), "256");
    EXPECT_EQ(Stored("paraVideoBitRate"), "768");
    EXPECT_EQ(Stored("paraVideoSize"), "640x480");

    // Default runs the frame-size check: an odd default size is corrected and reported.
    dialogs_.Messages.clear();
    editor_.Load(9);
    ASSERT_FALSE(dialogs_.Messages.empty());
    EXPECT_EQ(dialogs_.Messages[0].Title, "Input Error!");
    EXPECT_EQ(Stored("paraVideoSize", 9), "330x240");
    EXPECT_EQ(dialogs_.Messages[1].Text, "Video BitRate is not a valid value!");
    EXPECT_EQ(Stored("paraVideoBitRate", 9), "<missing>");
}

TEST_F(TFormatParameterEditorTest, EnsureFormatSettingsWritesOnlyOnce) {
    EXPECT_TRUE(EnsureFormatSettings(settings_, formats_, 7, dialogs_, "Quovo"));
    EXPECT_EQ(Stored("paraVideoEncoder"), "mpeg4");
    settings_.WriteString("formatInfo7", "paraVideoEncoder", "libxvid");
    EXPECT_FALSE(EnsureFormatSettings(settings_, formats_, 7, dialogs_, "Quovo"));
    EXPECT_EQ(Stored("paraVideoEncoder"), "libxvid");
    EXPECT_FALSE(EnsureFormatSettings(settings_, formats_, 4321, dialogs_, "Quovo"));
}

// A section written by hand or by an older version: what it has stays, what it lacks takes the
// format file's default instead of leaving the format without its video encoder.
TEST_F(TFormatParameterEditorTest, MissingKeysTakeTheFormatFilesDefaults) {
    settings_.WriteValues("formatInfo7", {{"iVideoBitRate", "1"}, {"paraVideoBitRate", "512"}});
    EXPECT_TRUE(EnsureFormatSettings(settings_, formats_, 7, dialogs_, "Quovo"));
    EXPECT_EQ(Stored("paraVideoEncoder"), "mpeg4");
    EXPECT_EQ(Stored("paraVideoSize"), "640x480");
    EXPECT_EQ(Stored("paraAudioEncoder"), "libfaac");
    EXPECT_EQ(Stored("paraVideoBitRate"), "512");
    EXPECT_EQ(Stored("iVideoBitRate"), "1");

    settings_.WriteString("formatInfo7", "paraVideoEncoder", "libxvid");
    TIniStore other(dir_ / "other.ini");
    other.WriteValues("formatInfo7", {{"paraVideoSize", "320x240"}});
    TFormatParameterEditor editor(other, formats_, dialogs_, "Quovo");
    editor.Load(7);
    EXPECT_EQ(editor.VideoSize.Text, "320x240");
    EXPECT_EQ(other.ReadString("formatInfo7", "paraVideoEncoder", ""), "mpeg4");
    EXPECT_EQ(Stored("paraVideoEncoder"), "libxvid");
    EXPECT_TRUE(dialogs_.Messages.empty());
}

// H.263 makes five picture sizes only: with it chosen the size box offers no other, and a size it
// would move is shown and stored moved, in the main window's boxes and in the settings dialog's.
TEST_F(TFormatParameterEditorTest, TheSizeBoxOffersWhatTheEncoderProduces) {
    dir_.WriteFile("quovoformat.ini", std::string(kFormatFile) + R"(
[formatInfo8]
Format=3gp
FileExt=3gp
VideoSize=176x144,320x240,352x288,as source
VideoBitRate=192,as source
FrameRate=15,as source
VideoEncoder=mpeg-4,h263
AudioBitRate=32,as source
SampleRate=22050,as source
AudioEncoder=aac
Channel=mono 1 channel,as source
Volume=100%
)");
    using TItems = std::vector<std::string>;
    const TItems all = {"176x144", "320x240", "352x288", "as source"};
    const TItems h263 = {"176x144", "352x288", "as source"};
    editor_.Load(8);
    EXPECT_EQ(editor_.VideoSize.Items, all);
    editor_.VideoSizeSelect(1);
    ASSERT_EQ(editor_.VideoSize.Text, "320x240");

    editor_.VideoEncoderChange(1);
    EXPECT_EQ(editor_.VideoSize.Items, h263);
    EXPECT_EQ(editor_.VideoSize.Text, "352x288");
    EXPECT_EQ(Stored("paraVideoSize", 8), "352x288");
    EXPECT_EQ(Stored("iVideoSize", 8), "1") << "the place in the list the box shows";

    TFormatParameterEditor reloaded(settings_, formats_, dialogs_, "Quovo");
    reloaded.Load(8);
    EXPECT_EQ(reloaded.VideoSize.Items, h263);
    EXPECT_EQ(reloaded.VideoSize.Index, 1);

    settings_.WriteValues("settings", {{"FormatCode", "8"}, {"FormatName", "3GP"}});
    TSettingsDialogModel dialog(settings_, formats_, dialogs_, "Quovo");
    dialog.ChooseFormat("3GP", 8);
    EXPECT_EQ(dialog.VideoSize.Items, h263);
    EXPECT_EQ(dialog.VideoSize.Text, "352x288");

    // "Default" puts back the format file's encoder and its whole list.
    editor_.DefaultClick();
    EXPECT_EQ(editor_.VideoSize.Items, all);
    EXPECT_EQ(editor_.VideoSize.Text, "176x144");
    editor_.VideoEncoderChange(0);
    EXPECT_EQ(editor_.VideoSize.Items, all);
    EXPECT_TRUE(dialogs_.Messages.empty());
}

} // namespace
} // namespace quovo
