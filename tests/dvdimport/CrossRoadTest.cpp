// The window's road and the command line's road from a source to a file: rows made as adding a
// file or importing a disc makes them, run by the window's batch run, against quovo-convert's
// --format road on the same inputs. Both build the same records and write files with the same
// facts.
#include "../run/RunTestSupport.h"
#include "DVDName.h"
#include "DVDTitleRows.h"
#include "DvdImportTestSupport.h"
#include "FormatCatalogue.h"
#include "TFFLogger.h"
#include "TFFmpegLoader.h"
#include "TFileProber.h"
#include "TFormatFileRun.h"
#include "TTaskPlanner.h"

#include <cmath>

namespace quovo {
namespace {

namespace fx = fixtures;
using test::RecordText;

struct TFacts {
    int width = 0, height = 0;
    double displayAspect = 0; // of the whole frame
    double seconds = 0;
    std::string video, audio;
    std::string title; // the container's title tag
};

TFacts FactsOf(const std::string& path) {
    const fx::ProbeResult probe = fx::ProbeMedia(path);
    TFacts facts;
    facts.seconds = probe.durationS;
    facts.title = probe.Tag("title");
    if (const fx::StreamProbe* v = probe.Find(fx::StreamKind::Video)) {
        facts.width = v->width;
        facts.height = v->height;
        const double sar = v->sampleAspect.num > 0 ? av_q2d(v->sampleAspect) : 1.0;
        facts.displayAspect = v->height > 0 ? v->width * sar / v->height : 0;
        facts.video = v->codec;
    }
    if (const fx::StreamProbe* a = probe.Find(fx::StreamKind::Audio)) {
        facts.audio = a->codec;
    }
    return facts;
}

class CrossRoadTest : public test::TRunTest {
protected:
    static void SetUpTestSuite() {
        FFLogger()->SetTriggerEventInMainThread(false);
        FFLogger()->SetLevelByName("quiet");
        ASSERT_TRUE(FFLoader().LoadLibraries(ConverterLibraryMask)) << FFLoader().LastLoadError();
        ASSERT_TRUE(DVDPluginLoaded() || LoadDVDPlugin(QUOVO_DVD_PLUGIN_FOLDER))
            << DVDPluginError();
    }
    // A file row as adding the file makes it.
    void AddAdded(const std::string& path) {
        TMediaConverter prober;
        const TProbedFile file = ProbeForAdding(prober, QString::fromStdString(path));
        ASSERT_TRUE(file.Opened) << file.Error.toStdString();
        auto record = std::make_unique<TlvFilesRecord>(
            MakeFileRecord(list_.Count(), path, std::string(), 1, "lbox"));
        record->SourcePicture = file.Picture;
        record->SourceContainer = file.ContainerName;
        list_.AddFileRow(std::move(record));
    }
    // Title 1 of the test disc as importing it makes it.
    void AddTitle(const std::string& disc) {
        ASSERT_GE(EnumDVDTitles(disc), 1);
        DVDTitleInfo info{};
        ASSERT_TRUE(GetDVDTitle(0, info));
        list_.AddRow(MakeTitleRecord(0, info), TitleRowCells(0, info));
    }
    // The input quovo-convert is given for the row.
    std::string CliInput(int row, const std::string& disc) {
        const TlvFilesRecord& r = list_.Record(row);
        return r.Kind == TRowKind::File ? r.SourceName
                                        : TTaskPlanner::TitleInputName(PlanSourceOf(r, disc), 0);
    }
};

// Square pixels, an anamorphic 16:9 PAL file and a 16:9 DVD title, through three formats, with
// the zoom stored and without one: the same records on both roads (a format without a stored zoom
// letterboxes on both, so a wide title keeps its shape in a 4:3 frame). Format 1 without a stored
// zoom is converted on both roads and the files agree.
TEST_F(CrossRoadTest, BothRoadsBuildTheSameTasksAndFiles) {
    fx::MediaSpec square;
    square.videoCodec = "mpeg4";
    square.width = 640;
    square.height = 480;
    square.durationS = 1;
    const std::string squareClip = dir_ / "square.mkv";
    fx::MakeMedia(squareClip, square);
    fx::MediaSpec wide = square;
    wide.width = 720;
    wide.height = 576;
    wide.sampleAspect = {64, 45};
    const std::string wideClip = dir_ / "wide.mkv";
    fx::MakeMedia(wideClip, wide);
    const std::string disc = dvdimporttest::Disc().folder;

    AddAdded(squareClip);
    AddAdded(wideClip);
    AddTitle(disc);
    run_->SetTitleDisc([&](std::string&) { return disc; });

    TFormatFileRun cli(settings_, formats_, dialogs_, "Quovo");
    cli.SetOutputFolder(Out());
    cli.SetTitleSource(&TitleSourceOf);
    for (int code : {1, 2200, 1400}) {
        for (const char* zoom : {"full", ""}) {
            SCOPED_TRACE(std::to_string(code) + " zoom '" + zoom + "'");
            const std::string section = FormatSection(code);
            ASSERT_TRUE(settings_.WriteValues(section, {{"paraZoom", zoom}}));
            if (*zoom == 0) {
                // Absent, not empty: the section without the key.
                std::filesystem::remove(dir_ / "quovo.ini");
                dir_.WriteFile("quovo.ini", "[settings]\nOutPutDir=" + Out() + "\n");
            }
            settings_.WriteString("settings", "FormatCode", std::to_string(code));
            TTaskPlanner window(settings_, formats_, dialogs_, dir_ / "default");
            for (int row = 0; row < list_.Count(); ++row) {
                const TlvFilesRecord& record = list_.Record(row);
                const TPlannedTask w =
                    window.Plan(PlanSourceOf(record, disc), code, PlanEditsOf(record));
                const TPlannedTask c = cli.Plan(code, CliInput(row, disc));
                ASSERT_TRUE(w.Ok()) << w.Error;
                ASSERT_TRUE(c.Ok()) << c.Error;
                EXPECT_EQ(RecordText(w.Input, w.Output), RecordText(c.Input, c.Output))
                    << "row " << row;
                EXPECT_EQ(w.InputName, c.InputName);
                EXPECT_EQ(w.OutputPath, c.OutputPath);
                EXPECT_EQ(w.ZoomMode, *zoom == 0 ? "lbox" : zoom);
            }
        }
    }

    // Format 1 (320x240) without a stored zoom: the window converts all three rows.
    settings_.WriteString("settings", "FormatCode", "1");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitForEnd(600));
    std::vector<TFacts> windowFacts;
    for (int row = 0; row < list_.Count(); ++row) {
        ASSERT_EQ(Progress(row), "100%") << row;
        windowFacts.push_back(FactsOf(list_.Record(row).OutputName));
    }
    for (int row = 0; row < list_.Count(); ++row) {
        SCOPED_TRACE(row);
        const TFormatRunResult r = cli.Convert(1, CliInput(row, disc));
        ASSERT_TRUE(r.Ok) << r.Error;
        const TFacts c = FactsOf(r.Output);
        const TFacts& w = windowFacts[row];
        EXPECT_EQ(c.width, w.width);
        EXPECT_EQ(c.height, w.height);
        EXPECT_NEAR(c.displayAspect, w.displayAspect, 0.01);
        EXPECT_NEAR(c.seconds, w.seconds, 0.3);
        EXPECT_EQ(c.video, w.video);
        EXPECT_EQ(c.audio, w.audio);
        EXPECT_EQ(c.title, w.title);
        if (row == 2) {
            EXPECT_EQ(w.title, "DVD Title 1") << "a title row's caption tags its output";
        }
        EXPECT_EQ(c.width, 320);
        EXPECT_EQ(c.height, 240);
        // The wide file and the 16:9 title keep their shape: a 320x180 picture between black
        // bands of 30 rows, not a picture stretched to 4:3.
        EXPECT_NEAR(c.displayAspect, 4.0 / 3, 0.01);
        const auto pictures = fx::DecodePictures(r.Output, AV_PIX_FMT_GRAY8, 10);
        ASSERT_FALSE(pictures.empty());
        const AVFrame& last = *pictures.back();
        const double top = fx::MeanLevel(last, 0, 0, 320, 24);
        const double bottom = fx::MeanLevel(last, 0, 216, 320, 24);
        const double middle = fx::MeanLevel(last, 0, 40, 320, 160);
        if (row == 0) {
            EXPECT_GT(top, 24) << "a 4:3 source fills the frame";
        } else {
            EXPECT_LT(top, 20) << "band above";
            EXPECT_LT(bottom, 20) << "band below";
            EXPECT_GT(middle, top + 20) << "the picture between them";
        }
    }
    EXPECT_TRUE(dialogs_.Messages.empty());
}

} // namespace
} // namespace quovo
