// Title rows planned, queued into the conversion component and converted: the outputs carry the
// title's picture size, the chosen chapters' length and the chosen audio track.
#include "DVDPlugIn.h"
#include "DVDTitleRows.h"
#include "DvdImportTestSupport.h"
#include "FormatCatalogue.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TFormatParameterEditor.h"
#include "TGlobalObject.h"
#include "TMediaConverter.h"
#include "TTaskPlanner.h"

#include <cmath>

using namespace quovo;
namespace fx = fixtures;

namespace {

constexpr int kMatroska = 2200; // "as source" picture size by default

// The plug-in loaded and describing the disc at `disc`.
bool PrepareTitleRun(const std::string& pluginFolder, const std::string& disc) {
    if (!DVDPluginLoaded() && !LoadDVDPlugin(pluginFolder)) {
        return false;
    }
    return EnumDVDTitles(disc) >= 1;
}

struct TTitleTask {
    int TaskIndex = -1;
    std::string Error;
    std::string OutputPath;
    bool CustomHook = false;
};

// The window's road for one title row: planned, then queued.
TTitleTask QueueTitleRow(TMediaConverter& converter, TIniStore& settings, const TIniStore& formats,
                         TDialogService& dialogs, const std::string& disc, TlvFilesRecord& record) {
    TTitleTask task;
    TPlannedTask planned = TTaskPlanner(settings, formats, dialogs, DefaultOutputFolder())
                               .Plan(PlanSourceOf(record, disc), kMatroska, PlanEditsOf(record));
    record.ZoomMode = planned.ZoomMode;
    task.Error = planned.Error;
    if (planned.Ok()) {
        task.TaskIndex = QueuePlannedTask(converter, planned, task.Error);
        task.OutputPath = planned.OutputPath;
        task.CustomHook = planned.Output.CustomHook;
    }
    return task;
}

class DVDTitleTaskTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FFLogger()->SetTriggerEventInMainThread(false);
        FFLogger()->SetLevelByName("quiet");
        ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
    }
    void SetUp() override {
        settings_.WriteString("settings", "OutPutDir", out_);
        settings_.WriteString("settings", "FormatCode", std::to_string(kMatroska));
        settings_.WriteString(FormatSection(kMatroska), "paraVideoEncoder", "mpeg-4");
        converter_.SetTriggerEventInMainThread(false);
    }

    std::string dir_ = dvdimporttest::ScratchDir("title-task");
    std::string out_ = dir_ + "/out";
    TIniStore settings_{dir_ + "/quovo.ini"};
    TIniStore formats_{FindFormatFile()};
    dvdimporttest::TRecordingDialogs dialogs_;
    TMediaConverter converter_;
};

TEST_F(DVDTitleTaskTest, TwoTitlesConvertWithTheirChaptersAndAudioTrack) {
    const std::string disc = dvdimporttest::Disc().iso;
    ASSERT_TRUE(PrepareTitleRun(QUOVO_DVD_PLUGIN_FOLDER, disc)) << DVDPluginError();
    DVDTitleInfo info1{}, info2{};
    ASSERT_TRUE(GetDVDTitle(0, info1));
    ASSERT_TRUE(GetDVDTitle(1, info2));
    auto title1 = MakeTitleRecord(0, info1);
    title1->FromChapter = 2; // 7.2 s to 21.6 s
    title1->ToChapter = 3;
    title1->AudioIndex = 1;
    title1->AudioID = info1.Audio[1].StreamID; // the MP2 track
    title1->SubtitleIndex = 1;                 // "Default"
    title1->SubtitleID = 0;
    auto title2 = MakeTitleRecord(1, info2);

    const TTitleTask task1 =
        QueueTitleRow(converter_, settings_, formats_, dialogs_, disc, *title1);
    const TTitleTask task2 =
        QueueTitleRow(converter_, settings_, formats_, dialogs_, disc, *title2);
    ASSERT_EQ(task1.TaskIndex, 0) << task1.Error;
    ASSERT_EQ(task2.TaskIndex, 1) << task2.Error;
    EXPECT_EQ(task1.OutputPath, out_ + "/DVD Title 1_(new).mkv");
    EXPECT_EQ(task2.OutputPath, out_ + "/DVD Title 2_(new).mkv");
    EXPECT_EQ(title1->ZoomMode, "lbox");
    EXPECT_FALSE(task1.CustomHook);

    std::vector<TTerminateInfo> ends;
    converter_.SetOnTerminate([&](TCustomMediaConverter*, const TTerminateInfo& info) {
        if (info.TaskIndex >= 0) {
            ends.push_back(info);
        }
    });
    converter_.StartTask(0);
    ASSERT_EQ(ends.size(), 2u);
    for (const TTerminateInfo& end : ends) {
        EXPECT_TRUE(end.Finished) << end.ExceptionMsg;
    }

    const fx::ProbeResult one = fx::ProbeMedia(task1.OutputPath);
    const fx::StreamProbe* video1 = one.Find(fx::StreamKind::Video);
    ASSERT_NE(video1, nullptr);
    EXPECT_EQ(video1->width, 720);
    EXPECT_EQ(video1->height, 576);
    const std::vector<double>& starts = fx::Title1ChapterStarts();
    EXPECT_NEAR(one.durationS, starts[3] - starts[1], 0.6);
    EXPECT_EQ(one.Count(fx::StreamKind::Audio), 1);
    EXPECT_NEAR(fx::DominantFrequency(task1.OutputPath), fx::kTitle1Mp2Hz, 15);

    const fx::ProbeResult two = fx::ProbeMedia(task2.OutputPath);
    const fx::StreamProbe* video2 = two.Find(fx::StreamKind::Video);
    ASSERT_NE(video2, nullptr);
    EXPECT_EQ(video2->width, 720);
    EXPECT_EQ(video2->height, 480);
    EXPECT_NEAR(two.durationS, fx::kTitle2Seconds, 0.6);
    EXPECT_NEAR(fx::DominantFrequency(task2.OutputPath), fx::kTitle2Ac3Hz, 15);
}

TEST_F(DVDTitleTaskTest, ATitleTheDiscNoLongerHasIsReportedNotQueued) {
    const std::string disc = dvdimporttest::Disc().folder;
    ASSERT_TRUE(PrepareTitleRun(QUOVO_DVD_PLUGIN_FOLDER, disc)) << DVDPluginError();
    DVDTitleInfo info{};
    ASSERT_TRUE(GetDVDTitle(0, info));
    auto gone = MakeTitleRecord(5, info); // the disc has two titles
    const TTitleTask task = QueueTitleRow(converter_, settings_, formats_, dialogs_, disc, *gone);
    EXPECT_EQ(task.TaskIndex, -1);
    EXPECT_FALSE(task.Error.empty());
    EXPECT_EQ(converter_.TaskCount(), 0);

    // A path that holds no disc any more: the row is reported, nothing is queued or written.
    auto ejected = MakeTitleRecord(0, info);
    const TTitleTask none =
        QueueTitleRow(converter_, settings_, formats_, dialogs_, dir_ + "/ejected", *ejected);
    EXPECT_EQ(none.TaskIndex, -1);
    EXPECT_FALSE(none.Error.empty());
    EXPECT_EQ(converter_.TaskCount(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(out_));
}

TEST_F(DVDTitleTaskTest, AnEncryptedTitleIsListedButItsTaskSaysWhatToInstall) {
    const std::string disc = dvdimporttest::ScratchDir("encrypted");
    std::filesystem::copy(dvdimporttest::Disc().folder, disc,
                          std::filesystem::copy_options::recursive);
    fx::MarkScrambled(disc + "/VIDEO_TS/VTS_01_1.VOB", 16);

    dvdimporttest::TImportWindow w;
    ASSERT_TRUE(w.Import(disc));
    ASSERT_EQ(w.model.Count(), 2);
    EXPECT_TRUE(w.dialogs.Messages.empty());

    ASSERT_TRUE(PrepareTitleRun(QUOVO_DVD_PLUGIN_FOLDER, disc));
    const TTitleTask task =
        QueueTitleRow(converter_, settings_, formats_, dialogs_, disc, w.model.Record(0));
    EXPECT_EQ(task.TaskIndex, -1);
    EXPECT_NE(task.Error.find("encrypted"), std::string::npos) << task.Error;
    EXPECT_NE(task.Error.find("libdvd-pkg"), std::string::npos) << task.Error;
    EXPECT_EQ(
        QueueTitleRow(converter_, settings_, formats_, dialogs_, disc, w.model.Record(1)).TaskIndex,
        0);
}

TEST_F(DVDTitleTaskTest, EffectsAskForTheFrameHookAndTrimStartsTheInput) {
    const std::string disc = dvdimporttest::Disc().folder;
    ASSERT_TRUE(PrepareTitleRun(QUOVO_DVD_PLUGIN_FOLDER, disc)) << DVDPluginError();
    DVDTitleInfo info{};
    ASSERT_TRUE(GetDVDTitle(1, info));
    auto row = MakeTitleRecord(1, info);
    row->Brightness = 200;
    EXPECT_TRUE(QueueTitleRow(converter_, settings_, formats_, dialogs_, disc, *row).CustomHook);
    converter_.ClearTasks();

    row->Brightness = 255;
    row->TrimStart = 2'000'000;
    row->TrimLength = 3'000'000;
    const TTitleTask task = QueueTitleRow(converter_, settings_, formats_, dialogs_, disc, *row);
    ASSERT_EQ(task.TaskIndex, 0) << task.Error;
    EXPECT_FALSE(task.CustomHook);
    converter_.StartTask(0);
    // The trim reached the task: the picture starts at 2 s of the title (frame 60 at 29.97 fps),
    // and about 3 s of the 10 s title are written.
    const std::vector<int> frames = fx::ReadFrameNumbers(task.OutputPath);
    ASSERT_FALSE(frames.empty());
    EXPECT_GE(frames.front(), 55);
    EXPECT_LT(frames.back() - frames.front(), 5 * 30);
    const fx::ProbeResult out = fx::ProbeMedia(task.OutputPath);
    EXPECT_GT(out.durationS, 2.5);
    EXPECT_LT(out.durationS, 5.0);
}

} // namespace
