// Adding files to the source list through the real window: the open-file dialog's hook, drag and
// drop, the command line; generated media and files that do not open.
#include "WinMain.h"

#include "TDVDImporter.h"
#include "TDVDMainParts.h"

#include "../formats/FormatsTestSupport.h"
#include "AddFileDialog.h"
#include "Fixtures.h"
#include "QtTestApp.h"
#include "TSourceListView.h"
#include "TfrmFileInfo.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cstdlib>
#include <filesystem>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;
using test::WaitUntil;

class AddFilesTest : public ::testing::Test {
public:
    AddFilesTest() {
        ::setenv("QUOVO_CONFIG_DIR", dir_.Path().c_str(), 1);
        TIniStore(dir_ / "quovo.ini").WriteString("settings", "OutPutDir", dir_ / "out");
    }
    ~AddFilesTest() override { ::unsetenv("QUOVO_CONFIG_DIR"); }

    // A short clip under `name` in the test's folder (one clip encoded, copied under each name).
    std::string Clip(const std::string& name) {
        const std::string path = dir_ / name;
        if (clip_.empty()) {
            fixtures::MediaSpec spec;
            spec.width = 160;
            spec.height = 120;
            spec.durationS = 2.5;
            clip_ = dir_ / "source.mkv";
            fixtures::MakeMedia(clip_, spec);
        }
        std::filesystem::copy_file(clip_, path);
        return path;
    }
    std::string Unreadable(const std::string& name) {
        const std::string path = dir_ / name;
        fixtures::MakeTextFile(path);
        return path;
    }
    std::unique_ptr<TfrmMain> Open(QStringList startup = {}) {
        auto window = std::make_unique<TfrmMain>(dialogs_);
        window->SetStartupPaths(std::move(startup));
        window->SetFileChooser([this](const QString& folder) {
            foldersAsked_ << folder;
            return choice_;
        });
        window->show();
        return window;
    }
    // Runs "&Add" with `paths` chosen and waits for the rows.
    void Add(TfrmMain& window, const std::vector<std::string>& paths) {
        choice_.clear();
        for (const std::string& path : paths) {
            choice_ << QString::fromStdString(path);
        }
        window.btnAddClick();
        ASSERT_TRUE(WaitUntil([&] { return !window.Adding(); }));
    }
    static QStringList Captions(TfrmMain& window) {
        QStringList captions;
        for (int i = 0; i < window.SourceList().Count(); ++i) {
            captions << QFileInfo(window.SourceList().Caption(i)).fileName();
        }
        return captions;
    }

    TScratchFolder dir_;
    TRecordingDialogs dialogs_;
    std::string clip_;
    QStringList choice_;
    QStringList foldersAsked_;
};

TEST_F(AddFilesTest, ChosenFilesBecomeCheckedRowsAndUnreadableOnesAreNamed) {
    const std::string a = Clip("a.avi");
    const std::string broken = Unreadable("broken.avi");
    const std::string b = Clip("b.mkv");
    auto w = Open();
    Add(*w, {a, broken, b});

    TSourceListModel& rows = w->SourceList();
    ASSERT_EQ(Captions(*w), (QStringList{"a.avi", "b.mkv"}));
    EXPECT_EQ(rows.Caption(0).toStdString(), a);
    EXPECT_EQ(rows.Cell(0, 1), "0:00:02");
    EXPECT_EQ(rows.Cell(0, 2), "0:00:02");
    EXPECT_EQ(rows.Cell(0, 3), "a_(new).mp4");
    EXPECT_EQ(rows.Cell(0, 4), "");
    EXPECT_EQ(rows.CheckedRows(), (std::vector<int>{0, 1}));
    const TlvFilesRecord& second = rows.Record(1);
    EXPECT_EQ(second.Kind, TRowKind::File);
    EXPECT_EQ(second.TitleIndex, 2); // its place in the selection, the unreadable file counted
    EXPECT_EQ(second.SourceName, b);
    EXPECT_EQ(second.OutputName, dir_ / "out/b_(new).mp4");
    EXPECT_EQ(second.DurationSeconds, 2);
    EXPECT_TRUE(second.SourcePicture.has_value()); // Start need not open it again
    EXPECT_EQ(second.ZoomMode, "lbox");
    EXPECT_EQ(second.Brightness, 255); // neutral effects
    EXPECT_EQ(w->SelectedRow(), 0);

    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0].Title, "Warning");
    EXPECT_NE(dialogs_.Messages[0].Text.find(broken), std::string::npos);
    EXPECT_EQ(dialogs_.Messages[0].Text.find(a), std::string::npos);

    // The next dialog opens in the folder of the last files chosen, also in a new window.
    w.reset();
    auto again = Open();
    Add(*again, {});
    EXPECT_EQ(foldersAsked_.back().toStdString(), dir_.Path());
}

TEST_F(AddFilesTest, AFileIsAddedOnceAndCaseMakesADifferentFile) {
    const std::string lower = Clip("a.avi");
    const std::string upper = Clip("A.AVI");
    auto w = Open();
    struct Step {
        const char* name;
        std::vector<std::string> chosen;
        QStringList rows;
    };
    const Step steps[] = {
        {"first selection", {lower, lower}, {"a.avi"}},
        {"again, with the other case", {upper, lower}, {"a.avi", "A.AVI"}},
        {"both again", {lower, upper}, {"a.avi", "A.AVI"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        Add(*w, step.chosen);
        EXPECT_EQ(Captions(*w), step.rows);
    }
    EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(AddFilesTest, ManyFilesShowAProgressWhoseCancelStopsTheAdding) {
    std::vector<std::string> chosen;
    for (int i = 0; i < TFileAdder::kFewFiles + 3; ++i) {
        chosen.push_back(Clip("clip" + std::to_string(i) + ".mkv"));
    }
    auto w = Open();
    Add(*w, chosen);
    ASSERT_EQ(w->SourceList().Count(), static_cast<int>(chosen.size()));
    for (int i = 0; i < w->SourceList().Count(); ++i) {
        EXPECT_EQ(w->SourceList().Record(i).TitleIndex, i);
    }

    w->btnClearClick();
    choice_.clear();
    for (const std::string& path : chosen) {
        choice_ << QString::fromStdString(path);
    }
    w->btnAddClick();
    QProgressDialog* progress = nullptr;
    for (auto* shown : w->findChildren<QProgressDialog*>("AddFilesProgress")) {
        if (shown->isVisible()) {
            progress = shown;
        }
    }
    ASSERT_NE(progress, nullptr);
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_FALSE(w->Adding());
    QTest::qWait(300);
    EXPECT_LT(w->SourceList().Count(), static_cast<int>(chosen.size()));
}

// The same road from elsewhere: files dropped on the list and files named on the command line. A
// DVD folder or image is not opened as a media file but imported as a disc (the last one given);
// a plain folder is skipped.
TEST_F(AddFilesTest, DroppedAndCommandLineFilesAreAddedLikeChosenOnes) {
    const std::string a = Clip("a.avi");
    const std::string broken = Unreadable("broken.mkv");
    const std::string iso = Unreadable("disc.iso");
    std::filesystem::create_directories(dir_ / "movie/VIDEO_TS");
    std::filesystem::create_directories(dir_ / "plain");
    QStringList paths;
    for (const std::string& path : {a, broken, dir_ / "movie", iso, dir_ / "plain"}) {
        paths << QString::fromStdString(path);
    }
    for (bool dropped : {false, true}) {
        SCOPED_TRACE(dropped ? "dropped" : "command line");
        dialogs_.Messages.clear();
        std::unique_ptr<TfrmMain> w = dropped ? Open() : Open(paths);
        if (dropped) {
            auto* view = w->findChild<TSourceListView*>("lvFiles");
            QMimeData data;
            QList<QUrl> urls;
            for (const QString& path : paths) {
                urls << QUrl::fromLocalFile(path);
            }
            data.setUrls(urls);
            const QPoint at = view->viewport()->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(view->viewport(), &enter);
            ASSERT_TRUE(enter.isAccepted());
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(view->viewport(), &drop);
            EXPECT_TRUE(drop.isAccepted());
        }
        ASSERT_TRUE(WaitUntil([&] {
            return w->SourceList().Count() == 1 && !w->Adding() && !w->DVD()->Importer()->Busy();
        }));
        EXPECT_EQ(Captions(*w), QStringList{"a.avi"});
        QStringList texts;
        for (const auto& message : dialogs_.Messages) {
            texts << QString::fromStdString(message.Text);
        }
        // The image holds no disc: the import says so and keeps the list.
        texts.sort();
        ASSERT_EQ(texts.size(), 2) << texts.join("\n").toStdString();
        EXPECT_EQ(texts[0], "No DVD title(s) found. Maybe not a valid DVD.");
        EXPECT_TRUE(texts[1].contains("broken.mkv"));
    }
}

// "Video Infomation" of the pop-up menu describes the selected row in its modal dialog.
TEST_F(AddFilesTest, TheInformationDialogDescribesTheSelectedRow) {
    const std::string a = Clip("a.avi");
    const std::string b = Clip("b.mkv");
    auto w = Open();
    Add(*w, {a, b});
    w->SelectRow(1);
    emit w->FilesPopup()->aboutToShow();
    auto* info = w->findChild<QAction*>("Infomation1");
    ASSERT_TRUE(info->isVisible());
    QString name, resolution;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TfrmFileInfo*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        name = dialog->lblSourceName->text();
        resolution = dialog->edtResloution->text();
        dialog->btn1->click();
    });
    info->trigger();
    EXPECT_EQ(name, ShortSourceName(QString::fromStdString(b)));
    EXPECT_EQ(resolution, "160x120");
}

} // namespace
} // namespace quovo
