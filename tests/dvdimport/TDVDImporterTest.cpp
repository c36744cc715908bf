// Importing the test disc into a source list: rows, cells, records and the title box, the
// messages of missing, empty and damaged discs, and a window that stays alive while a disc hangs.
#include "DvdImportTestSupport.h"
#include "ScopedEnv.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <fstream>

using namespace quovo;
using dvdimporttest::TImportWindow;
using fixtures::ScopedEnv;
namespace fs = std::filesystem;

namespace {

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) {
        items << box->itemText(i);
    }
    return items;
}

TEST(DVDImport, FolderAndImageGiveOneRowPerTitle) {
    const auto& disc = dvdimporttest::Disc();
    for (const std::string& path : {disc.folder, disc.folder + "/VIDEO_TS", disc.iso}) {
        SCOPED_TRACE(path);
        TImportWindow w;
        ASSERT_TRUE(w.Import(path));
        EXPECT_TRUE(w.dialogs.Messages.empty());
        EXPECT_EQ(w.importer->DVDPath(), path);
        ASSERT_EQ(w.model.Count(), 2);
        EXPECT_EQ(w.model.Layout(), TColumnLayout::Title);
        EXPECT_EQ(w.model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Duration");
        for (int c = 0; c < 6; ++c) {
            const QStringList want1 = {"DVD Title 1",  "   0:00:30", "   0:00:30",
                                       "   720 x 576", "   MPEG-2",  ""};
            const QStringList want2 = {"DVD Title 2",  "   0:00:10", "   0:00:10",
                                       "   720 x 480", "   MPEG-2",  ""};
            EXPECT_EQ(w.model.Cell(0, c), want1[c]);
            EXPECT_EQ(w.model.Cell(1, c), want2[c]);
        }
        EXPECT_TRUE(w.model.Checked(0));
        EXPECT_TRUE(w.model.Checked(1));
        const TlvFilesRecord& first = w.model.Record(0);
        EXPECT_EQ(first.Kind, TRowKind::Title);
        EXPECT_EQ(first.TitleIndex, 0);
        EXPECT_EQ(first.DurationSeconds, 30);
        EXPECT_EQ(first.AudioID, 128);
        EXPECT_EQ(first.SubtitleID, 32);
        EXPECT_EQ(first.FromChapter, 1);
        EXPECT_EQ(first.ToChapter, 4);
        const TlvFilesRecord& second = w.model.Record(1);
        EXPECT_EQ(second.TitleIndex, 1);
        EXPECT_EQ(second.Title.SubtitleCount, 0);
        EXPECT_EQ(second.SubtitleID, 0);
        EXPECT_EQ(second.ToChapter, 2);

        // The first row is selected and the box shows its own choices.
        EXPECT_EQ(w.SelectedRow(), 0);
        EXPECT_EQ(w.titleBox->title(), "DVD Title 1");
        EXPECT_EQ(Items(w.titleBox->cmbAudioLanguage),
                  QStringList({"128  English", "193  German"}));
        EXPECT_EQ(Items(w.titleBox->cmbSubtitle),
                  QStringList({"32  English", "33  French", "Default"}));
        EXPECT_EQ(w.titleBox->edtFrom->text(), "1");
        EXPECT_EQ(w.titleBox->edtTo->text(), "4");
    }
}

TEST(DVDImport, TitleBoxStoresChoicesInTheSelectedRow) {
    TImportWindow w;
    ASSERT_TRUE(w.Import(dvdimporttest::Disc().folder));
    ASSERT_EQ(w.model.Count(), 2);
    TTitleBox& box = *w.titleBox;
    box.cmbAudioLanguage->setCurrentIndex(1);
    box.cmbSubtitle->setCurrentIndex(2); // "Default"
    box.btnUpClick();
    box.btnUpClick();
    box.btnDown1Click();
    const TlvFilesRecord& first = w.model.Record(0);
    EXPECT_EQ(first.AudioIndex, 1);
    EXPECT_EQ(first.AudioID, 193);
    EXPECT_EQ(first.SubtitleIndex, 2);
    EXPECT_EQ(first.SubtitleID, 0);
    EXPECT_EQ(first.FromChapter, 3);
    EXPECT_EQ(first.ToChapter, 3);
    EXPECT_EQ(box.edtFrom->text(), "3");
    EXPECT_EQ(box.edtTo->text(), "3");

    // The second title: one audio track, only "Default" for subtitles.
    w.Click(1);
    EXPECT_EQ(box.title(), "DVD Title 2");
    EXPECT_TRUE(box.cmbAudioLanguage->isEnabled());
    EXPECT_EQ(Items(box.cmbAudioLanguage), QStringList({"128  English"}));
    EXPECT_EQ(Items(box.cmbSubtitle), QStringList({"Default"}));
    EXPECT_EQ(box.cmbSubtitle->currentIndex(), 0);
    EXPECT_EQ(box.edtTo->text(), "2");
    box.btnUp1Click(); // at the last chapter
    EXPECT_EQ(w.model.Record(1).ToChapter, 2);
    // A title without subtitles keeps SubtitleID 0 whatever is picked.
    box.cmbSubtitle->setCurrentIndex(0);
    EXPECT_EQ(w.model.Record(1).SubtitleID, 0);

    // Back on the first row, its own choices come back.
    w.Click(0);
    EXPECT_EQ(box.cmbAudioLanguage->currentText(), "193  German");
    EXPECT_EQ(box.cmbSubtitle->currentText(), "Default");
    EXPECT_EQ(box.edtFrom->text(), "3");
    EXPECT_EQ(w.model.Record(1).AudioID, 128);
}

// A file row added below the titles has nothing to choose: the box stays, every choice emptied
// and disabled, and its arrows change nothing; a title row brings the choices back.
TEST(DVDImport, TitleBoxHasNothingToChooseForAFileRow) {
    TImportWindow w;
    ASSERT_TRUE(w.Import(dvdimporttest::Disc().folder));
    const int file = w.model.AddRow(
        std::make_unique<TlvFilesRecord>(MakeFileRecord(0, "/videos/a.avi", "", 10, "lbox")),
        {"/videos/a.avi"});
    TTitleBox& box = *w.titleBox;
    w.Click(file);
    EXPECT_EQ(box.title(), "/videos/a.avi");
    EXPECT_FALSE(box.isHidden());
    for (QComboBox* list : {box.cmbAudioLanguage, box.cmbSubtitle}) {
        EXPECT_EQ(list->count(), 0);
        EXPECT_FALSE(list->isEnabled());
    }
    for (QToolButton* arrow : {box.btnUp, box.btnDown, box.btnUp1, box.btnDown1}) {
        EXPECT_FALSE(arrow->isEnabled());
    }
    EXPECT_TRUE(box.edtFrom->text().isEmpty());
    box.btnUp1Click();
    EXPECT_EQ(w.model.Record(file).ToChapter, 0);
    EXPECT_TRUE(box.edtTo->text().isEmpty());

    w.Click(0);
    EXPECT_TRUE(box.cmbAudioLanguage->isEnabled());
    EXPECT_TRUE(box.btnUp1->isEnabled());
    EXPECT_EQ(box.edtTo->text(), "4");
}

TEST(DVDImport, MissingEmptyAndDamagedDiscs) {
    struct Case {
        std::string path;
        std::string title;
        std::string text;
    };
    const std::string empty = dvdimporttest::ScratchDir("not-a-dvd");
    const Case cases[] = {
        {empty + "/no-such-disc", "Warning", "Can't find a DVD Disk!"},
        {empty, "Message", "No DVD title(s) found. Maybe not a valid DVD."},
    };
    TImportWindow w;
    ASSERT_TRUE(w.Import(dvdimporttest::Disc().folder));
    const std::string imported = w.importer->DVDPath();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        w.dialogs.Messages.clear();
        ASSERT_TRUE(w.Import(c.path));
        ASSERT_EQ(w.dialogs.Messages.size(), 1u);
        EXPECT_EQ(w.dialogs.Messages[0].Title, c.title);
        EXPECT_EQ(w.dialogs.Messages[0].Text, c.text);
        // Nothing was read: the list and its disc stay.
        EXPECT_EQ(w.model.Count(), 2);
        EXPECT_EQ(w.importer->DVDPath(), imported);
    }

    // The middle title of three has lost its IFO and backup.
    const std::string damaged = dvdimporttest::ScratchDir("lost-title-2");
    fs::copy(dvdimporttest::Disc().threeTitleFolder, damaged, fs::copy_options::recursive);
    fs::remove(damaged + "/VIDEO_TS/VTS_02_0.IFO");
    fs::remove(damaged + "/VIDEO_TS/VTS_02_0.BUP");
    w.dialogs.Messages.clear();
    ASSERT_TRUE(w.Import(damaged));
    ASSERT_EQ(w.dialogs.Messages.size(), 1u);
    EXPECT_EQ(w.dialogs.Messages[0].Title, "Warning");
    EXPECT_EQ(w.dialogs.Messages[0].Text, "Title #2 is invalid");
    ASSERT_EQ(w.model.Count(), 2);
    EXPECT_EQ(w.model.Caption(0), "DVD Title 1");
    EXPECT_EQ(w.model.Caption(1), "DVD Title 3");
    EXPECT_EQ(w.model.Record(0).TitleIndex, 0);
    EXPECT_EQ(w.model.Record(1).TitleIndex, 2);
    EXPECT_EQ(w.model.Cell(1, 3), "   720 x 480");
    EXPECT_EQ(w.importer->DVDPath(), damaged);
}

TEST(DVDImport, AHangingDiscLeavesTheWindowAliveAndCanBeCancelled) {
    // A helper that never answers stands in for a drive stuck on a scratched disc.
    const std::string dir = dvdimporttest::ScratchDir("hanging-helper");
    const std::string helper = dir + "/quovo-dvdinfo";
    {
        std::ofstream script(helper);
        script << "#!/bin/sh\nexec sleep 30\n";
    }
    fs::permissions(helper, fs::perms::owner_all);
    ScopedEnv useHelper("QUOVO_DVD_HELPER", helper);
    ScopedEnv shortLimit("QUOVO_DVD_HELPER_TIMEOUT_MS", "3000");
    const std::string disc = dvdimporttest::ScratchDir("hanging-disc");
    fs::copy(dvdimporttest::Disc().folder, disc, fs::copy_options::recursive);

    TImportWindow w;
    w.show();
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    w.importer->Import(QString::fromStdString(disc));
    ASSERT_NE(w.importer->BusyWindow(), nullptr);
    EXPECT_TRUE(w.importer->BusyWindow()->isVisible());
    // The window keeps handling its events while the disc is read.
    EXPECT_TRUE(test::WaitUntil([&] { return ticks >= 10; }, 2.0));
    EXPECT_TRUE(w.importer->Busy());
    QPushButton* cancel = w.importer->BusyWindow()->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
    cancel->click();
    EXPECT_FALSE(w.importer->Busy());
    EXPECT_FALSE(w.importer->BusyWindow()->isVisible());
    EXPECT_EQ(w.model.Count(), 0);

    // Without Cancel, the time limit ends the read with a clear message.
    w.dialogs.Messages.clear();
    ASSERT_TRUE(w.Import(disc, 20));
    ASSERT_EQ(w.dialogs.Messages.size(), 1u);
    EXPECT_EQ(w.dialogs.Messages[0].Text, "No DVD title(s) found. Maybe not a valid DVD.");
}

} // namespace
