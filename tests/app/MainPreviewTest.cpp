// The main window's preview: a row of the source list plays in the panel's player.
#include "WinMain.h"

#include "../formats/FormatsTestSupport.h"
#include "Fixtures.h"
#include "MainThread.h"
#include "QtTestApp.h"
#include "TPreviewPanel.h"

#include <QLabel>
#include <QTest>
#include <QTreeWidget>

#include <chrono>
#include <cstdlib>

namespace quovo {
namespace {

using test::WaitUntil;

TEST(MainPreviewTest, DoubleClickingAFileRowPlaysItInThePanel) {
    test::TScratchFolder dir;
    ::setenv("QUOVO_CONFIG_DIR", dir.Path().c_str(), 1);
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
    auto* list = window.findChild<QTreeWidget*>("lvFiles");
    auto* row = new QTreeWidgetItem(list, QStringList{QString::fromStdString(clip)});
    emit list->itemDoubleClicked(row, 0);
    ASSERT_TRUE(panel->Player().IsOpen()) << panel->Player().LastError();
    EXPECT_EQ(list->currentItem(), row);
    EXPECT_TRUE(WaitUntil([&] { return panel->lblTime->text() > "00:00:00.200"; }));
    EXPECT_EQ(panel->lblPTS->text(), "0:00:03");
    window.close();
    EXPECT_TRUE(WaitUntil([&] { return !panel->Player().IsOpen(); }));
    ::unsetenv("QUOVO_CONFIG_DIR");
}

} // namespace
} // namespace quovo
