// The DVD import in the real main window: the Add DVD menu with its drives read when it opens,
// the folder chooser, the title rows in the list, the title box above it, what the preview
// plays for a title row, and the run of title rows.
#include "DvdImportTestSupport.h"
#include "FormatCatalogue.h"
#include "TAddDVDMenu.h"
#include "TDVDMainParts.h"
#include "TMainWindowRun.h"
#include "TPreviewPanel.h"
#include "TSourceListView.h"
#include "TfrmFileInfo.h"
#include "WinMain.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>
#include <fstream>
#include <ostream>

using namespace quovo;
namespace fs = std::filesystem;

namespace {

class MainWindowDVDTest : public ::testing::Test {
protected:
    MainWindowDVDTest() {
        ::setenv("QUOVO_CONFIG_DIR", config_.c_str(), 1);
        ::setenv("QUOVO_DVD_PLUGIN_DIR", QUOVO_DVD_PLUGIN_FOLDER, 1);
        // Runs write Matroska files with the picture size of the source into a folder of ours.
        std::ofstream(config_ + "/quovo.ini")
            << "[settings]\nOutPutDir=" << out_ << "\nFormatCode=" << kMatroska << "\n";
        window_ = std::make_unique<TfrmMain>(dialogs_);
        window_->show();
        menu_ = window_->DVD()->Menu();
    }
    ~MainWindowDVDTest() override {
        window_.reset();
        ::unsetenv("QUOVO_CONFIG_DIR");
    }
    bool WaitForImport(int before) {
        return test::WaitUntil([&] { return imports_ > before; }, 60);
    }
    void CountImports() {
        QObject::connect(window_->DVD()->Importer(), &TDVDImporter::Imported,
                         [this](int) { ++imports_; });
    }

    bool ImportFolder(const std::string& disc) {
        CountImports();
        menu_->SetFolderChooser([disc](const QString&) { return QString::fromStdString(disc); });
        const int before = imports_;
        menu_->DVDFolderClick();
        return WaitForImport(before);
    }

    static constexpr int kMatroska = 2200;
    const std::string config_ = dvdimporttest::ScratchDir("main-config");
    const std::string out_ = config_ + "/out";
    dvdimporttest::TRecordingDialogs dialogs_;
    std::unique_ptr<TfrmMain> window_;
    TAddDVDMenu* menu_ = nullptr;
    int imports_ = 0;
};

TEST_F(MainWindowDVDTest, TheMenuListsTheDrivesPresentWhenItOpens) {
    QToolButton* button = window_->findChild<QToolButton*>("BtnAddDVD");
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_TRUE(window_->findChild<QAction*>("AddDVD1")->isEnabled());

    const std::string root = dvdimporttest::ScratchDir("fake-drives");
    fs::create_directories(root + "/sys/sr0");
    fs::create_directories(root + "/dev");
    menu_->SetDriveFolders(
        {QString::fromStdString(root + "/sys"), QString::fromStdString(root + "/dev")});
    button->click();
    ASSERT_TRUE(test::WaitUntil([&] { return menu_->isVisible(); }, 5));
    QStringList entries;
    for (QAction* a : menu_->actions()) {
        if (a->isVisible() && !a->isSeparator()) {
            entries << a->text();
        }
    }
    EXPECT_EQ(entries, QStringList({"Add DVD Driver", "DVD Folder…", "DVD Image…"}));
    ASSERT_EQ(menu_->DriveMenu()->actions().size(), 1);
    EXPECT_EQ(menu_->DriveMenu()->actions()[0]->text(), QString::fromStdString(root + "/dev/sr0:"));
    menu_->hide();

    // A disc put in afterwards is listed the next time the menu opens, and imports from there.
    fs::create_symlink(dvdimporttest::Disc().iso, root + "/dev/sr0");
    CountImports();
    button->click();
    ASSERT_TRUE(test::WaitUntil([&] { return menu_->isVisible(); }, 5));
    QAction* drive = menu_->DriveMenu()->actions().value(0);
    ASSERT_NE(drive, nullptr);
    EXPECT_EQ(drive->text(),
              QString::fromStdString(root + "/dev/sr0:") + fixtures::kDvdVolumeLabel);
    menu_->hide();
    drive->trigger();
    ASSERT_TRUE(WaitForImport(0));
    EXPECT_EQ(window_->SourceList().Count(), 2);
    EXPECT_EQ(window_->DVD()->DVDPath(), root + "/dev/sr0");
}

TEST_F(MainWindowDVDTest, AFolderImportFillsTheListAndTheTitleBox) {
    CountImports();
    QString startedAt;
    menu_->SetFolderChooser([&](const QString& start) {
        startedAt = start;
        return QString::fromStdString(dvdimporttest::Disc().folder + "/VIDEO_TS");
    });
    // A file row first: the import replaces it.
    window_->SourceList().AddFileRow(std::make_unique<TlvFilesRecord>(
        MakeFileRecord(0, "/videos/a.avi", "/out/a.mp4", 10, "lbox")));
    menu_->DVDFolderClick();
    ASSERT_TRUE(WaitForImport(0));
    EXPECT_TRUE(dialogs_.Messages.empty());

    TSourceListModel& rows = window_->SourceList();
    ASSERT_EQ(rows.Count(), 2);
    EXPECT_EQ(rows.Layout(), TColumnLayout::Title);
    EXPECT_EQ(rows.Caption(0), "DVD Title 1");
    EXPECT_EQ(rows.Cell(1, 3), "   720 x 480");
    EXPECT_EQ(window_->SelectedRow(), 0);

    TTitleBox* box = window_->findChild<TTitleBox*>("TitleBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box, window_->DVD()->TitleBox());
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->title(), "DVD Title 1");
    EXPECT_EQ(box->cmbAudioLanguage->count(), 2);

    // Selecting the second row shows its choices; a choice lands in that row.
    window_->SelectRow(1);
    EXPECT_EQ(box->title(), "DVD Title 2");
    EXPECT_EQ(box->cmbAudioLanguage->count(), 1);
    EXPECT_EQ(box->edtTo->text(), "2");
    box->btnDown1Click();
    EXPECT_EQ(rows.Record(1).ToChapter, 1);
    EXPECT_EQ(rows.Record(0).ToChapter, 4);

    // The preview opens the disc after setting the row's values; the chooser starts beside it.
    EXPECT_EQ(window_->DVD()->PreviewName(rows.Record(1), false),
              "opendvd:" + dvdimporttest::Disc().folder + "/VIDEO_TS");
    menu_->SetFolderChooser([&](const QString& start) {
        startedAt = start;
        return QString();
    });
    menu_->DVDFolderClick();
    EXPECT_EQ(startedAt.toStdString(), dvdimporttest::Disc().folder);
    EXPECT_EQ(rows.Count(), 2);
}

TEST_F(MainWindowDVDTest, ADiscGivenAsAFileIsImported) {
    CountImports();
    // Dropped on the list or named on the command line: an image among files.
    window_->AddFiles({QString::fromStdString(dvdimporttest::Disc().iso)});
    ASSERT_TRUE(WaitForImport(0));
    EXPECT_TRUE(dialogs_.Messages.empty());
    ASSERT_EQ(window_->SourceList().Count(), 2);
    EXPECT_EQ(window_->SourceList().Caption(1), "DVD Title 2");
    EXPECT_EQ(window_->DVD()->DVDPath(), dvdimporttest::Disc().iso);
}

// A disc whose middle title cannot be described: one message, the other two rows, and the row
// after the gap converts its own title.
TEST_F(MainWindowDVDTest, ADiscWithAnUndescribableTitleListsAndConvertsTheOthers) {
    const std::string disc = dvdimporttest::ScratchDir("import-damaged") + "/disc";
    fs::copy(dvdimporttest::Disc().threeTitleFolder, disc, fs::copy_options::recursive);
    fs::remove(disc + "/VIDEO_TS/VTS_02_0.IFO");
    fs::remove(disc + "/VIDEO_TS/VTS_02_0.BUP");
    ASSERT_TRUE(ImportFolder(disc));
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Title, "Warning");
    EXPECT_EQ(dialogs_.Messages[0].Text, "Title #2 is invalid");
    TSourceListModel& rows = window_->SourceList();
    ASSERT_EQ(rows.Count(), 2);
    EXPECT_EQ(rows.Caption(0), "DVD Title 1");
    EXPECT_EQ(rows.Caption(1), "DVD Title 3");
    EXPECT_EQ(rows.Record(1).TitleIndex, 2);

    window_->Settings().WriteString(FormatSection(kMatroska), "paraVideoEncoder", "mpeg-4");
    rows.SetChecked(0, false);
    int ended = 0;
    QObject::connect(&window_->RunControl().Run(), &TBatchRun::RunFinished, [&] { ++ended; });
    window_->findChild<QPushButton*>("btnStart2")->click();
    ASSERT_TRUE(test::WaitUntil([&] { return !window_->RunControl().Run().Queueing(); }, 60));
    ASSERT_EQ(window_->Converter().TaskCount(), 1);
    EXPECT_EQ(window_->Converter().InputProbe(0, 0)->FileName(),
              "opendvd:" + disc +
                  "|Title=3,FromChapter=1,ToChapter=2,AudioID=128,SubtitleID=0,AudioChannels=2,"
                  "Deinterlace=0");
    ASSERT_TRUE(test::WaitUntil([&] { return ended > 0; }, 300));
    EXPECT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(rows.Cell(1, rows.ProgressColumn()), "100%");
    const fixtures::ProbeResult out = fixtures::ProbeMedia(out_ + "/DVD Title 3_(new).mkv");
    EXPECT_NEAR(out.durationS, fixtures::kTitle2Seconds, 0.6);
}

TEST_F(MainWindowDVDTest, TitlesThatCannotBeConvertedReadErrorAndTheOthersRun) {
    // Three titles: the first encrypted (read without libdvdcss), the second gone from the disc
    // after the import, the third sound.
    const std::string disc = dvdimporttest::ScratchDir("run-damaged") + "/disc";
    fs::copy(dvdimporttest::Disc().threeTitleFolder, disc, fs::copy_options::recursive);
    fixtures::MarkScrambled(disc + "/VIDEO_TS/VTS_01_1.VOB", 16);
    ASSERT_TRUE(ImportFolder(disc));
    TSourceListModel& rows = window_->SourceList();
    ASSERT_EQ(rows.Count(), 3);
    fs::remove(disc + "/VIDEO_TS/VTS_02_0.IFO");
    fs::remove(disc + "/VIDEO_TS/VTS_02_0.BUP");
    window_->Settings().WriteString(FormatSection(kMatroska), "paraVideoEncoder", "mpeg-4");

    int ended = 0;
    QObject::connect(&window_->RunControl().Run(), &TBatchRun::RunFinished, [&] { ++ended; });
    window_->findChild<QPushButton*>("btnStart2")->click();
    ASSERT_TRUE(test::WaitUntil([&] { return !window_->RunControl().Run().Queueing(); }, 60));
    ASSERT_TRUE(test::WaitUntil([&] { return ended > 0; }, 300));
    const int progress = rows.ProgressColumn();
    EXPECT_EQ(rows.Cell(0, progress), "Error");
    EXPECT_EQ(rows.Cell(1, progress), "Error");
    EXPECT_EQ(rows.Cell(2, progress), "100%");
    EXPECT_TRUE(fs::exists(out_ + "/DVD Title 3_(new).mkv"));
    EXPECT_FALSE(fs::exists(out_ + "/DVD Title 1_(new).mkv"));

    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    const std::string& text = dialogs_.Messages[0].Text;
    EXPECT_EQ(dialogs_.Messages[0].Title, "Warning");
    EXPECT_NE(text.find("\nDVD Title 1: "), std::string::npos) << text;
    EXPECT_NE(text.find("libdvd-pkg"), std::string::npos) << text;
    // The title is not described again at Start: opening it is what fails, and says why.
    EXPECT_NE(text.find("\nDVD Title 2: opendvd:" + disc + "|Title=2,"), std::string::npos) << text;
    EXPECT_NE(text.find("Invalid data"), std::string::npos) << text;
    EXPECT_EQ(text.find("DVD Title 3"), std::string::npos) << text;
}

// Every caption and cell of the title rows shows whole, at the default font and a larger one.
TEST_F(MainWindowDVDTest, TheTitleColumnsFitTheirTexts) {
    TSourceListView* view = window_->SourceListView();
    const QFont normal = view->font();
    QFont large = normal;
    large.setPointSizeF(normal.pointSizeF() * 1.5);
    for (const QFont& font : {normal, large}) {
        SCOPED_TRACE(font.pointSizeF());
        view->setFont(font);
        view->header()->setFont(font);
        ASSERT_TRUE(ImportFolder(dvdimporttest::Disc().folder));
        const TSourceListModel& rows = window_->SourceList();
        ASSERT_EQ(rows.Layout(), TColumnLayout::Title);
        const QFontMetrics metrics(font);
        for (int column = 0; column < rows.columnCount(); ++column) {
            const int width = view->columnWidth(column);
            const QString caption =
                rows.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
            EXPECT_LE(metrics.horizontalAdvance(caption), width) << caption.toStdString();
            // Cells are drawn 3 px in from each side, a caption after the 14 px check box.
            const int room = width - 6 - (column == 0 ? 14 : 0);
            for (int row = 0; row < rows.Count(); ++row) {
                const QString cell = rows.Cell(row, column);
                EXPECT_LE(metrics.horizontalAdvance(cell), room) << cell.toStdString();
            }
        }
        // The progress texts a run writes fit too.
        const int progress = rows.ProgressColumn();
        for (const QString text : {"100%", "Error"}) {
            EXPECT_LE(metrics.horizontalAdvance(text), view->columnWidth(progress) - 6);
        }
    }
}

// "Video Infomation" on a title row: the facts of the title's input with the row's audio track.
TEST_F(MainWindowDVDTest, TheInformationDialogDescribesATitleRow) {
    ASSERT_TRUE(ImportFolder(dvdimporttest::Disc().folder));
    window_->SelectRow(0);
    window_->DVD()->TitleBox()->cmbAudioLanguage->setCurrentIndex(1); // the MP2 track
    struct TCase {
        int row;
        QStringList facts; // name, resolution, frame rate, audio format, sample rate, channels
        int frames;
    };
    const TCase cases[] = {
        {0, {"DVD Title 1", "720x576", "25", "mp2", "48000", "2"}, 750},
        {1, {"DVD Title 2", "720x480", "29.97", "ac3", "48000", "2"}, 300},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.row);
        window_->SelectRow(c.row);
        emit window_->FilesPopup()->aboutToShow();
        QAction* info = window_->findChild<QAction*>("Infomation1");
        ASSERT_TRUE(info->isEnabled());
        QStringList facts;
        QString duration, frames;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TfrmFileInfo*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            facts << dialog->lblSourceName->text() << dialog->edtResloution->text()
                  << dialog->edtFrameRate->text() << dialog->edtAudioForamt->text()
                  << dialog->edtSampleRate->text() << dialog->edtChannel->text();
            duration = dialog->lblFileLength->text();
            frames = dialog->edtTotalFrame->text();
            dialog->btn1->click();
        });
        info->trigger();
        EXPECT_EQ(facts, c.facts);
        EXPECT_TRUE(duration.endsWith(" Second")) << duration.toStdString();
        EXPECT_NEAR(duration.section(' ', 0, 0).toDouble(), c.frames / c.facts[2].toDouble(), 0.7)
            << duration.toStdString();
        EXPECT_NEAR(frames.toInt(), c.frames, 15) << frames.toStdString();
    }
}

// Without libdvdcss an encrypted title cannot be previewed: the preview says what to install
// instead of showing nothing; the other title plays.
TEST_F(MainWindowDVDTest, PreviewingAnEncryptedTitleSaysWhatToInstall) {
    const std::string disc = dvdimporttest::ScratchDir("preview-encrypted") + "/disc";
    fs::copy(dvdimporttest::Disc().folder, disc, fs::copy_options::recursive);
    fixtures::MarkScrambled(disc + "/VIDEO_TS/VTS_01_1.VOB", 16);
    ASSERT_TRUE(ImportFolder(disc));
    ASSERT_EQ(window_->SourceList().Count(), 2);
    TPreviewPanel* preview = window_->findChild<TPreviewPanel*>();
    ASSERT_NE(preview, nullptr);

    window_->SelectRow(0);
    preview->imgbtnPlayClick();
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    const std::string& text = dialogs_.Messages[0].Text;
    EXPECT_EQ(text.rfind("DVD Title 1: ", 0), 0u) << text;
    EXPECT_NE(text.find("libdvd-pkg"), std::string::npos) << text;
    EXPECT_TRUE(preview->Stopped());

    window_->SelectRow(1);
    preview->imgbtnPlayClick();
    EXPECT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_FALSE(preview->Stopped());
    preview->imgbtnStopClick();
}

// What one run of the two titles chooses and what its outputs must show.
struct TTitleRun {
    const char* name;
    bool iso;
    int fromUps;      // presses of the "from" up arrow on title 1 (from chapter 1)
    int toDowns;      // presses of the "to" down arrow on title 1 (from the last chapter)
    int audioItem;    // title 1's audio item
    int subtitleItem; // title 1's subtitle item (2 = "Default")
    bool trimTitle2;  // title 2 trimmed to 2 s .. 5 s
    const char* title1Name;
    const char* title2Name;
    double title1Seconds;
    double title1Hz;
    double title2Seconds;
};

void PrintTo(const TTitleRun& run, std::ostream* os) {
    *os << run.name;
}

class MainWindowDVDRunTest : public MainWindowDVDTest,
                             public ::testing::WithParamInterface<TTitleRun> {};

TEST_P(MainWindowDVDRunTest, StartConvertsTheCheckedTitlesWithTheirChoices) {
    const TTitleRun& c = GetParam();
    if (c.iso) {
        CountImports();
        window_->AddFiles({QString::fromStdString(dvdimporttest::Disc().iso)});
        ASSERT_TRUE(WaitForImport(0));
    } else {
        ASSERT_TRUE(ImportFolder(dvdimporttest::Disc().folder + "/VIDEO_TS"));
    }
    const std::string disc = window_->DVD()->DVDPath();
    TSourceListModel& rows = window_->SourceList();
    ASSERT_EQ(rows.Count(), 2);
    window_->Settings().WriteString(FormatSection(kMatroska), "paraVideoEncoder", "mpeg-4");

    // The choices, made in the title box as the user makes them.
    TTitleBox* box = window_->DVD()->TitleBox();
    window_->SelectRow(0);
    for (int i = 0; i < c.fromUps; ++i) {
        box->btnUpClick();
    }
    for (int i = 0; i < c.toDowns; ++i) {
        box->btnDown1Click();
    }
    box->cmbAudioLanguage->setCurrentIndex(c.audioItem);
    box->cmbSubtitle->setCurrentIndex(c.subtitleItem);
    if (c.trimTitle2) {
        rows.Record(1).TrimStart = 2'000'000;
        rows.Record(1).TrimLength = 3'000'000;
    }

    int ended = 0;
    TBatchRun& run = window_->RunControl().Run();
    QObject::connect(&run, &TBatchRun::RunFinished, [&] { ++ended; });
    window_->findChild<QPushButton*>("btnStart2")->click();
    ASSERT_TRUE(test::WaitUntil([&] { return !window_->RunControl().Run().Queueing(); }, 60));
    ASSERT_TRUE(run.Running()) << (dialogs_.Messages.empty() ? "" : dialogs_.Messages[0].Text);
    ASSERT_EQ(window_->Converter().TaskCount(), 2);
    EXPECT_EQ(window_->Converter().InputProbe(0, 0)->FileName(), "opendvd:" + disc + c.title1Name);
    EXPECT_EQ(window_->Converter().InputProbe(1, 0)->FileName(), "opendvd:" + disc + c.title2Name);
    ASSERT_TRUE(test::WaitUntil([&] { return ended > 0; }, 600));
    EXPECT_TRUE(dialogs_.Messages.empty()) << dialogs_.Messages[0].Text;
    EXPECT_EQ(rows.Cell(0, rows.ProgressColumn()), "100%");
    EXPECT_EQ(rows.Cell(1, rows.ProgressColumn()), "100%");

    const std::string out1 = out_ + "/DVD Title 1_(new).mkv";
    const std::string out2 = out_ + "/DVD Title 2_(new).mkv";
    EXPECT_EQ(rows.Record(0).OutputName, out1);
    const fixtures::ProbeResult one = fixtures::ProbeMedia(out1);
    const fixtures::StreamProbe* video1 = one.Find(fixtures::StreamKind::Video);
    ASSERT_NE(video1, nullptr);
    EXPECT_EQ(video1->width, 720);
    EXPECT_EQ(video1->height, 576);
    // The pictures are those of the chosen chapters (25 per second); the sound of a chapter
    // taken from the middle of the title may begin up to a GOP before its first picture.
    EXPECT_NEAR(video1->decodedFrames / 25.0, c.title1Seconds, 0.12);
    EXPECT_NEAR(one.durationS, c.title1Seconds, 0.8);
    EXPECT_EQ(one.Count(fixtures::StreamKind::Audio), 1);
    EXPECT_NEAR(fixtures::DominantFrequency(out1), c.title1Hz, 15);

    const fixtures::ProbeResult two = fixtures::ProbeMedia(out2);
    const fixtures::StreamProbe* video2 = two.Find(fixtures::StreamKind::Video);
    ASSERT_NE(video2, nullptr);
    EXPECT_EQ(video2->width, 720);
    EXPECT_EQ(video2->height, 480);
    // A trimmed title's picture starts at the GOP its seek lands on, so it is looser.
    EXPECT_NEAR(two.durationS, c.title2Seconds, c.trimTitle2 ? 1.5 : 0.6);
    EXPECT_NEAR(fixtures::DominantFrequency(out2), fixtures::kTitle2Ac3Hz, 15);
}

const std::vector<double>& Starts() {
    return fixtures::Title1ChapterStarts();
}

INSTANTIATE_TEST_SUITE_P(
    FolderAndImage, MainWindowDVDRunTest,
    ::testing::Values(
        // Chapters 2 to 3 with the second audio track and subtitle 33; title 2 trimmed, so its
        // name asks for the whole title and the trim decides.
        TTitleRun{"Folder", false, 1, 1, 1, 1, true,
                  "|Title=1,FromChapter=2,ToChapter=3,AudioID=193,SubtitleID=33,"
                  "AudioChannels=2,Deinterlace=0",
                  "|Title=2,FromChapter=0,ToChapter=99,AudioID=128,SubtitleID=0,"
                  "AudioChannels=2,Deinterlace=0",
                  Starts()[3] - Starts()[1], fixtures::kTitle1Mp2Hz, 3.0},
        // The last chapter alone with the first track and "Default"; title 2 whole.
        TTitleRun{"Image", true, 3, 0, 0, 2, false,
                  "|Title=1,FromChapter=4,ToChapter=4,AudioID=128,SubtitleID=0,"
                  "AudioChannels=2,Deinterlace=0",
                  "|Title=2,FromChapter=1,ToChapter=2,AudioID=128,SubtitleID=0,"
                  "AudioChannels=2,Deinterlace=0",
                  fixtures::kTitle1Seconds - Starts()[3], fixtures::kTitle1Ac3Hz,
                  fixtures::kTitle2Seconds}),
    [](const ::testing::TestParamInfo<TTitleRun>& info) { return std::string(info.param.name); });

} // namespace
