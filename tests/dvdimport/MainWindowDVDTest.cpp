// The DVD import in the real main window: the Add DVD menu with its drives read when it opens,
// the folder chooser, the title rows in the list, the title box above it, and what the preview
// plays for a title row.
#include "DvdImportTestSupport.h"
#include "TAddDVDMenu.h"
#include "TDVDMainParts.h"
#include "TSourceListView.h"
#include "WinMain.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>

#include <cstdlib>

using namespace quovo;
namespace fs = std::filesystem;

namespace {

class MainWindowDVDTest : public ::testing::Test {
protected:
    MainWindowDVDTest() {
        ::setenv("QUOVO_CONFIG_DIR", dvdimporttest::ScratchDir("main-config").c_str(), 1);
        ::setenv("QUOVO_DVD_PLUGIN_DIR", QUOVO_DVD_PLUGIN_FOLDER, 1);
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

} // namespace
