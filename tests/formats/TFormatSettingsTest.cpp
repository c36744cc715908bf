// One default per key: every reader of a format's parameters (the parameter boxes, the settings
// dialog, "Default", the task planner and the command line's road) finds the same value for each
// key, and a box shows what a run uses.
#include "TFormatSettings.h"

#include "FormatCatalogue.h"
#include "FormatRules.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TFormatFileRun.h"
#include "TFormatParameterEditor.h"
#include "TGlobalObject.h"
#include "TSettingsDialogModel.h"
#include "TTaskPlanner.h"

#include "Fixtures.h"
#include "FormatsTestSupport.h"

#include <gtest/gtest.h>

#include <optional>

namespace quovo {
namespace {

using test::RecordText;
using test::TRecordingDialogs;
using test::TScratchFolder;

// What a box shows, as the value it stands for.
std::optional<std::string> Shown(TFormatKey key, const TParamBox& box) {
    switch (key) {
    case TFormatKey::VideoEncoder:
        return VideoEncoderValue(box.Text);
    case TFormatKey::AudioEncoder:
        return AudioEncoderValue(box.Text);
    case TFormatKey::Channel:
        return ChannelValue(box.Text);
    case TFormatKey::Volume: {
        auto v = VolumeValue(box.Text);
        return v ? std::optional(std::to_string(*v)) : std::nullopt;
    }
    case TFormatKey::Zoom:
        return ZoomValue(box.Index);
    default:
        return box.Text;
    }
}

const TParamBox& BoxOf(const TParamBoxSet& boxes, TFormatKey key) {
    switch (key) {
    case TFormatKey::VideoSize:
        return boxes.VideoSize;
    case TFormatKey::VideoBitRate:
        return boxes.VideoBitRate;
    case TFormatKey::FrameRate:
        return boxes.FrameRate;
    case TFormatKey::VideoEncoder:
        return boxes.VideoEncoder;
    case TFormatKey::Zoom:
        return boxes.Zoom;
    case TFormatKey::SampleRate:
        return boxes.SampleRate;
    case TFormatKey::AudioBitRate:
        return boxes.AudioBitRate;
    case TFormatKey::AudioEncoder:
        return boxes.AudioEncoder;
    case TFormatKey::Channel:
        return boxes.Channel;
    case TFormatKey::Volume:
        break;
    }
    return boxes.Volume;
}

// Every enabled box of `boxes` shows the value `expected` gives its key.
void ExpectBoxesShow(const TParamBoxSet& boxes, const TFormatSettings& expected,
                     const std::string& road) {
    for (const TFormatKeyInfo& info : TFormatSettings::Keys()) {
        const TParamBox& box = BoxOf(boxes, info.Key);
        if (!box.Enabled) {
            continue;
        }
        EXPECT_EQ(Shown(info.Key, box), expected.Value(info.Key))
            << road << ", " << info.ValueKey << " shows \"" << box.Text << "\"";
    }
}

class FormatSettingsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FFLogger()->SetTriggerEventInMainThread(false);
        FFLogger()->SetLevelByName("quiet");
        ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    }

    TScratchFolder dir_;
    TRecordingDialogs dialogs_;
    TIniStore formats_{FindFormatFile()};
};

// Every catalogue format, each road given an empty settings file of its own: the boxes of the
// main window and of the settings dialog show the table's values, "Default" stores exactly them,
// and the planner and the command line build the same records as the planner given every value
// written out.
TEST_F(FormatSettingsTest, EveryFormatFindsOneValuePerKeyOnEveryRoad) {
    fixtures::MediaSpec spec;
    spec.videoCodec = "mpeg4";
    spec.width = 720;
    spec.height = 480;
    spec.durationS = 0.5;
    const std::string clip = dir_ / "clip.mkv";
    fixtures::MakeMedia(clip, spec);
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(clip)) << probe.LastError();
    TPlanSource added; // a file row: what adding it found
    added.FileName = clip;
    added.Picture = SourcePictureFromProbe(probe);
    added.ContainerName = probe.FormatName();
    probe.Close();

    for (const TFormatEntry& format : AllFormats()) {
        const int code = format.Code;
        SCOPED_TRACE(std::to_string(code) + " " + format.Name);
        const std::string base = dir_ / std::to_string(code);
        const TIniStore empty(base + "-empty.ini");
        const TFormatSettings expected(empty, formats_, code);
        EXPECT_EQ(expected.Zoom(), "lbox");

        // The main window's boxes; their first loading stores "Default", which is the table.
        TIniStore boxesFile(base + "-boxes.ini");
        TFormatParameterEditor editor(boxesFile, formats_, dialogs_, "Quovo");
        editor.Load(code);
        ExpectBoxesShow(editor, expected, "boxes");
        const TFormatSettings stored(boxesFile, formats_, code);
        for (const TFormatKeyInfo& info : TFormatSettings::Keys()) {
            EXPECT_EQ(stored.Value(info.Key), expected.Value(info.Key))
                << "Default stores " << info.ValueKey;
            if (info.IndexKey != nullptr) {
                EXPECT_EQ(stored.Index(info.Key), expected.Index(info.Key))
                    << "Default stores " << info.IndexKey;
            }
        }

        // The settings dialog.
        TIniStore dialogFile(base + "-dialog.ini");
        ASSERT_TRUE(dialogFile.WriteString("settings", "FormatCode", std::to_string(code)));
        TSettingsDialogModel dialog(dialogFile, formats_, dialogs_, "Quovo");
        dialog.Load();
        ExpectBoxesShow(dialog, expected, "dialog");

        // The planner: empty settings against every value written out.
        TIniStore written(base + "-written.ini");
        std::vector<std::pair<std::string, std::string>> values;
        for (const TFormatKeyInfo& info : TFormatSettings::Keys()) {
            values.emplace_back(info.ValueKey, expected.Value(info.Key));
        }
        ASSERT_TRUE(written.WriteValues(FormatSection(code), values));
        TIniStore plannerFile(base + "-planner.ini");
        TTaskPlanner planner(plannerFile, formats_, dialogs_, dir_ / "default");
        planner.SetOutputFolder(dir_ / "out");
        TTaskPlanner writtenPlanner(written, formats_, dialogs_, dir_ / "default");
        writtenPlanner.SetOutputFolder(dir_ / "out");
        const TPlannedTask fromRow = planner.Plan(added, code, TPlanEdits());
        const TPlannedTask fromWritten = writtenPlanner.Plan(added, code, TPlanEdits());
        ASSERT_TRUE(fromRow.Ok()) << fromRow.Error;
        EXPECT_EQ(RecordText(fromRow.Input, fromRow.Output),
                  RecordText(fromWritten.Input, fromWritten.Output));
        EXPECT_EQ(fromRow.ZoomMode, expected.Zoom());

        // The command line's road opens the file itself.
        TIniStore cliFile(base + "-cli.ini");
        TFormatFileRun cli(cliFile, formats_, dialogs_, "Quovo");
        cli.SetOutputFolder(dir_ / "out");
        const TPlannedTask fromCli = cli.Plan(code, clip);
        ASSERT_TRUE(fromCli.Ok()) << fromCli.Error;
        EXPECT_EQ(RecordText(fromCli.Input, fromCli.Output),
                  RecordText(fromRow.Input, fromRow.Output));
        EXPECT_EQ(fromCli.OutputPath, fromRow.OutputPath);
        EXPECT_TRUE(dialogs_.Questions.empty());
        if (HasFailure()) {
            break; // one format's story is enough to read
        }
    }
    EXPECT_TRUE(dialogs_.Messages.empty());
}

// Where each value comes from: the settings file, else the format file's default entry, else the
// table; an index the stored value does not match shows the value a run uses.
TEST_F(FormatSettingsTest, StoredThenFormatFileThenTable) {
    dir_.WriteFile("formats.ini", "[formatInfo1]\nFormat=ipod\nVideoBitRate=768,512\n"
                                  "iVideoBitRate=1\nFrameRate=25,29.97\nVideoEncoder=mpeg-4\n"
                                  "AudioEncoder=mp3,aac\nChannel=stereo 2 channels,mono 1 channel\n"
                                  "iChannel=1\n");
    const TIniStore formats(dir_ / "formats.ini");
    TIniStore settings(dir_ / "quovo.ini");

    const TFormatSettings fresh(settings, formats, 1);
    EXPECT_EQ(fresh.Value(TFormatKey::VideoBitRate), "512"); // the format file's default entry
    EXPECT_EQ(fresh.Index(TFormatKey::VideoBitRate), 1);
    EXPECT_EQ(fresh.Value(TFormatKey::Channel), "1");
    EXPECT_EQ(fresh.Value(TFormatKey::AudioEncoder), "libmp3lame");
    EXPECT_EQ(fresh.Value(TFormatKey::VideoSize), "320x240"); // no list: the table
    EXPECT_EQ(fresh.Value(TFormatKey::SampleRate), "44100");
    EXPECT_EQ(fresh.Value(TFormatKey::Volume), "256");
    EXPECT_EQ(fresh.Zoom(), "lbox");
    EXPECT_FALSE(fresh.Stored(TFormatKey::Zoom));

    ASSERT_TRUE(settings.WriteValues(FormatSection(1), {{"parazoom", "pan"},
                                                        {"iFrameRate", "0"},
                                                        {"paraFrameRate", "29.97"},
                                                        {"paraVideoBitRate", "900"}}));
    const TFormatSettings edited(settings, formats, 1);
    EXPECT_EQ(edited.Zoom(), "pan"); // keys without regard to case
    EXPECT_EQ(edited.Value(TFormatKey::VideoBitRate), "900");
    EXPECT_EQ(edited.Index(TFormatKey::VideoBitRate), 1);

    // The frame-rate box follows the stored rate, not the index that disagrees with it.
    TFormatParameterEditor editor(settings, formats, dialogs_, "Quovo");
    editor.Load(1);
    EXPECT_EQ(editor.FrameRate.Text, "29.97");
    EXPECT_EQ(editor.VideoBitRate.Text, "900");
    EXPECT_EQ(editor.Zoom.Text, "Pan and Scan");

    // A bit rate that cannot be stored is refused and the box shows the stored one again.
    editor.VideoBitRateChange("");
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Text, "Video BitRate is not a valid value!");
    EXPECT_EQ(editor.VideoBitRate.Text, "900");
    EXPECT_EQ(TFormatSettings(settings, formats, 1).Value(TFormatKey::VideoBitRate), "900");

    // "Default" gives the letterbox, as a format never edited has.
    editor.DefaultClick();
    EXPECT_EQ(editor.Zoom.Text, "Letter Box");
    EXPECT_EQ(TFormatSettings(settings, formats, 1).Zoom(), "lbox");
}

} // namespace
} // namespace quovo
