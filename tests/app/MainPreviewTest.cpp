// The main window's preview: a row of the source list plays in the panel's player.
#include "WinMain.h"

#include "../formats/FormatsTestSupport.h"
#include "Fixtures.h"
#include "MainThread.h"
#include "QtTestApp.h"
#include "TIniStore.h"
#include "TPreviewPanel.h"
#include "TSourceListModel.h"

#include <QAbstractItemView>
#include <QImage>
#include <QLabel>
#include <QTest>

#include <chrono>
#include <cstdlib>

namespace quovo {
namespace {

using test::WaitUntil;

TEST(MainPreviewTest, DoubleClickingAFileRowPlaysItInThePanel) {
    test::TScratchFolder dir;
    ::setenv("QUOVO_CONFIG_DIR", dir.Path().c_str(), 1);
    const std::string snaps = dir.Path() + "/snaps";
    TIniStore(dir.Path() + "/quovo.ini").WriteString("settings", "SnapOutPutDir", snaps);
    fixtures::MediaSpec spec;
    spec.durationS = 3.0;
    const std::string clip = fixtures::FixtureDir() + "/main-preview.mkv";
    fixtures::MakeMedia(clip, spec);

    test::TRecordingDialogs dialogs;
    TfrmMain window(dialogs);
    window.show();
    auto* panel = window.findChild<TPreviewPanel*>("gbPreview");
    ASSERT_NE(panel, nullptr);
    panel->Player().AudioDriver = adDummy;
    auto* list = window.findChild<QAbstractItemView*>("lvFiles");
    ASSERT_NE(list, nullptr);
    TSourceListModel& rows = window.SourceList();
    rows.AddFileRow(std::make_unique<TlvFilesRecord>(
        MakeFileRecord(0, "/nowhere/first.avi", dir.Path() + "/first.mp4", 3, "lbox")));
    rows.AddFileRow(std::make_unique<TlvFilesRecord>(
        MakeFileRecord(1, clip, dir.Path() + "/main-preview.mp4", 3, "lbox")));
    emit list->doubleClicked(rows.index(1, 2));
    ASSERT_TRUE(panel->Player().IsOpen()) << panel->Player().LastError();
    EXPECT_EQ(window.SelectedRow(), 1);
    EXPECT_TRUE(WaitUntil([&] { return panel->lblTime->text() > "00:00:00.200"; }));
    EXPECT_EQ(panel->lblPTS->text(), "0:00:03");

    // The snapshot button saves the four files of the default settings and shows their folder.
    QString opened;
    window.SetFolderOpener([&](const QString& folder) { opened = folder; });
    panel->imgbtnSnap->click();
    for (const char* name :
         {"Snapshot_full.bmp", "Snapshot_small.bmp", "Snapshot_full.jpg", "Snapshot_small.jpg"}) {
        EXPECT_FALSE(QImage(QString::fromStdString(snaps + "/" + name)).isNull()) << name;
    }
    EXPECT_TRUE(opened.startsWith(QString::fromStdString(snaps))) << opened.toStdString();

    // Removing a row keeps the preview while rows are left; removing the last one stops it.
    window.SelectRow(0);
    window.btnRemoveClick();
    EXPECT_FALSE(panel->Stopped());
    EXPECT_TRUE(panel->Player().IsOpen());
    window.btnRemoveClick();
    EXPECT_TRUE(panel->Stopped());
    EXPECT_FALSE(panel->Player().IsOpen());
    window.close();
    EXPECT_TRUE(WaitUntil([&] { return !panel->Player().IsOpen(); }));
    ::unsetenv("QUOVO_CONFIG_DIR");
}

} // namespace
} // namespace quovo
