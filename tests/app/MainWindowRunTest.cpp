// A file run through the real main window and its conversion component.
#include "WinMain.h"

#include "../formats/FormatsTestSupport.h"
#include "../run/RunTestSupport.h"
#include "Fixtures.h"
#include "QtTestApp.h"
#include "TMainWindowRun.h"
#include "TfrmProgress.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <cstdlib>
#include <filesystem>

namespace quovo {
namespace {

namespace fs = std::filesystem;

class MainWindowRunTest : public ::testing::Test {
public:
    MainWindowRunTest() {
        ::setenv("QUOVO_CONFIG_DIR", dir_.Path().c_str(), 1);
        dir_.WriteFile("quovo.ini", "[settings]\nOutPutDir=" + Out() + "\n");
    }
    ~MainWindowRunTest() override { ::unsetenv("QUOVO_CONFIG_DIR"); }

    std::string Out() const { return dir_ / "out"; }
    std::string Clip(const std::string& name) {
        fixtures::MediaSpec spec;
        spec.videoCodec = "mpeg4";
        spec.durationS = 1;
        fixtures::MakeMedia(dir_ / name, spec);
        return dir_ / name;
    }

protected:
    test::TScratchFolder dir_;
    test::TRecordingDialogs dialogs_;
    test::TRecordingDesktop desktop_;
};

TEST_F(MainWindowRunTest, StartConvertsTheCheckedFilesAndNamesTheOneThatFailed) {
    const std::string first = Clip("first.mkv");
    const std::string unreadable = dir_ / "unreadable.avi";
    fixtures::MakeRandomFile(unreadable, 20000, 7);
    const std::string third = Clip("third.mkv");

    TfrmMain w(dialogs_);
    w.show();
    w.RunControl().SetDesktop(desktop_);
    QStringList opened;
    w.SetFolderOpener([&](const QString& folder) { opened << folder; });
    TSourceListModel& list = w.SourceList();
    for (const std::string& path : {first, unreadable, third}) {
        list.AddFileRow(std::make_unique<TlvFilesRecord>(
            MakeFileRecord(list.Count(), path, std::string(), 1, "lbox")));
    }
    auto* start = w.findChild<QPushButton*>("btnStart2");
    auto* startMenu = w.findChild<QAction*>("Start1");
    auto* clear = w.findChild<QAction*>("Clear1");
    ASSERT_NE(start, nullptr);
    ASSERT_TRUE(start->isEnabled());
    ASSERT_TRUE(startMenu->isEnabled());
    const bool clearBefore = clear->isEnabled();
    int ended = 0;
    QObject::connect(&w.RunControl().Run(), &TBatchRun::RunFinished, [&] { ++ended; });

    start->click();
    ASSERT_TRUE(test::WaitUntil([&] { return !w.RunControl().Run().Queueing(); }, 60));
    TfrmProgress& progress = w.RunControl().Run().ProgressWindow();
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.parentWidget(), &w);
    // The list and the start stay still while the run goes on; the hidden buttons control it.
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(startMenu->isEnabled());
    EXPECT_FALSE(clear->isEnabled());
    EXPECT_TRUE(w.RunControl().btnPause->isEnabled());
    EXPECT_TRUE(w.RunControl().btnStop->isEnabled());
    EXPECT_FALSE(w.RunControl().btnResume->isEnabled());
    // Pausing in the progress window switches the main window's buttons.
    progress.btnPause->click();
    EXPECT_FALSE(w.RunControl().btnPause->isEnabled());
    EXPECT_TRUE(w.RunControl().btnResume->isEnabled());
    w.RunControl().btnResume->trigger();
    EXPECT_TRUE(progress.btnPause->isEnabled());
    EXPECT_FALSE(progress.btnResume->isEnabled());

    ASSERT_TRUE(test::WaitUntil([&] { return ended > 0; }, 120));
    const int column = list.ProgressColumn();
    EXPECT_EQ(list.Cell(0, column), "100%");
    EXPECT_EQ(list.Cell(1, column), "Error");
    EXPECT_EQ(list.Cell(2, column), "100%");
    for (const char* name : {"first_(new).mp4", "third_(new).mp4"}) {
        const fixtures::ProbeResult probe = fixtures::ProbeMedia(Out() + "/" + name);
        const fixtures::StreamProbe* video = probe.Find(fixtures::StreamKind::Video);
        ASSERT_NE(video, nullptr) << name;
        EXPECT_EQ(video->codec, "h264");
        EXPECT_GT(video->decodedFrames, 20);
        EXPECT_EQ(video->decodeErrors, 0);
        EXPECT_NE(probe.Find(fixtures::StreamKind::Audio), nullptr);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(Out()), fs::directory_iterator()), 2);
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_NE(dialogs_.Messages[0].Text.find(unreadable), std::string::npos);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(startMenu->isEnabled());
    EXPECT_EQ(clear->isEnabled(), clearBefore);
    EXPECT_FALSE(w.RunControl().btnPause->isEnabled());
    EXPECT_FALSE(w.RunControl().btnStop->isEnabled());
    // "Open the output folder after conversion" is checked each time the window shows.
    EXPECT_EQ(opened, QStringList{QString::fromStdString(Out())});
    ASSERT_EQ(desktop_.Ends.size(), 1u);
    EXPECT_EQ(desktop_.Ends[0].Converted, 2);
    EXPECT_EQ(desktop_.Ends[0].Failed, 1);
    EXPECT_EQ(desktop_.Shutdowns, 0);
}

// While a run goes on the progress window holds the keyboard and the mouse, and no command that
// changes the list or starts a run does anything, whatever the selection; at the end the list's
// own rules give them back.
TEST_F(MainWindowRunTest, TheListStaysAsItIsDuringARun) {
    TfrmMain w(dialogs_);
    w.show();
    w.RunControl().SetDesktop(desktop_);
    w.SetFolderOpener([](const QString&) {});
    TSourceListModel& list = w.SourceList();
    for (const std::string& path : {Clip("first.mkv"), Clip("second.mkv")}) {
        list.AddFileRow(std::make_unique<TlvFilesRecord>(
            MakeFileRecord(list.Count(), path, std::string(), 1, "lbox")));
    }
    w.SelectRow(1);
    int runs = 0;
    QObject::connect(&w.RunControl().Run(), &TBatchRun::RunFinished, [&] { ++runs; });

    w.findChild<QPushButton*>("btnStart2")->click();
    ASSERT_TRUE(test::WaitUntil([&] { return !w.RunControl().Run().Queueing(); }, 60));
    TfrmProgress& progress = w.RunControl().Run().ProgressWindow();
    EXPECT_EQ(QApplication::activeModalWidget(), &progress);
    w.SelectRow(0); // a new selection gives nothing back
    // Menu entries, pop-up entries (Remove2 is the Delete key) and tool buttons, hidden or not.
    const char* commands[] = {"Add1",      "AddDVD1",  "Add2",     "Remove1",  "Remove2",
                              "Clear1",    "Clear2",   "Start1",   "Start2",   "btnAdd",
                              "btnRemove", "btnClear", "btnStart", "btnStart2"};
    auto enabled = [&w](const char* name) {
        if (auto* action = w.findChild<QAction*>(name)) {
            return action->isEnabled();
        }
        auto* button = w.findChild<QAbstractButton*>(name);
        return button != nullptr && button->isEnabled();
    };
    for (const char* name : commands) {
        EXPECT_FALSE(enabled(name)) << name;
        if (auto* action = w.findChild<QAction*>(name)) {
            action->trigger();
        } else if (auto* button = w.findChild<QAbstractButton*>(name)) {
            button->click();
        }
        EXPECT_EQ(list.Count(), 2) << name;
    }

    ASSERT_TRUE(test::WaitUntil([&] { return runs > 0; }, 120));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(list.Cell(0, list.ProgressColumn()), "100%");
    EXPECT_EQ(list.Cell(1, list.ProgressColumn()), "100%");
    for (const char* name : commands) {
        EXPECT_TRUE(enabled(name)) << name;
    }
    // The pop-up's row commands still follow the selection.
    w.SelectRow(-1);
    for (const char* name : {"Remove2", "Clear2", "Start2"}) {
        EXPECT_FALSE(enabled(name)) << name;
    }
    EXPECT_TRUE(enabled("Remove1"));
}

} // namespace
} // namespace quovo
