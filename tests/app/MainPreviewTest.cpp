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
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
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

// Presses the left button on the slider's thumb, drags it to `fraction` of the groove and
// releases it there, as a mouse does.
void DragThumb(QSlider* slider, double fraction) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    const QRect thumb = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                        QStyle::SC_SliderHandle, slider);
    const QPointF from = thumb.center();
    const QPointF to(slider->width() * fraction, from.y());
    auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
        QMouseEvent e(type, at, slider->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(slider, &e);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
}

// Play with rows but none selected plays the first row; dragging the seek bar's thumb seeks
// where it is released, also while paused, and the bar follows playback from there.
TEST(MainPreviewTest, PlayWithoutASelectionPlaysTheFirstRowAndTheSeekBarSeeks) {
    test::TScratchFolder dir;
    ::setenv("QUOVO_CONFIG_DIR", dir.Path().c_str(), 1);
    const std::string first = fixtures::FixtureDir() + "/main-preview-first.mkv";
    const std::string second = fixtures::FixtureDir() + "/main-preview-second.mkv";
    for (const auto& [path, seconds] : {std::pair{first, 6.0}, std::pair{second, 2.0}}) {
        fixtures::MediaSpec spec;
        spec.durationS = seconds;
        fixtures::MakeMedia(path, spec);
    }
    test::TRecordingDialogs dialogs;
    TfrmMain window(dialogs);
    window.resize(1000, 700);
    window.show();
    auto* panel = window.findChild<TPreviewPanel*>("gbPreview");
    ASSERT_NE(panel, nullptr);
    panel->Player().AudioDriver = adDummy;
    TSourceListModel& rows = window.SourceList();
    rows.AddFileRow(std::make_unique<TlvFilesRecord>(
        MakeFileRecord(0, first, dir.Path() + "/first.mp4", 6, "lbox")));
    rows.AddFileRow(std::make_unique<TlvFilesRecord>(
        MakeFileRecord(1, second, dir.Path() + "/second.mp4", 2, "lbox")));
    window.SelectRow(-1);
    ASSERT_EQ(window.SelectedRow(), -1);

    QTest::mouseClick(panel->imgbtnPlay, Qt::LeftButton);
    ASSERT_TRUE(panel->Player().IsOpen()) << panel->Player().LastError();
    EXPECT_EQ(window.SelectedRow(), 0);
    EXPECT_EQ(panel->lblPTS->text(), "0:00:06");
    ASSERT_TRUE(WaitUntil([&] { return panel->Player().Position() > 200000; }));

    // Paused, so the position moves only by the seek.
    QTest::mouseClick(panel->imgbtnPAuse, Qt::LeftButton);
    ASSERT_TRUE(panel->Player().Paused());
    DragThumb(panel->trcPreview, 0.5);
    const int released = panel->trcPreview->value();
    const double fraction = double(released) / panel->trcPreview->maximum();
    ASSERT_GT(fraction, 0.3);
    // The seek lands on a key picture (two a second) near where the thumb was released.
    const int64_t target = std::llround(fraction * 6000000);
    int64_t at = 0;
    EXPECT_TRUE(WaitUntil([&] {
        at = panel->Player().Position();
        return at > target - 600000 && at < target + 600000;
    })) << "position "
        << at << ", released at " << target;
    // The label follows: it read a few tenths of a second before the seek.
    EXPECT_TRUE(WaitUntil([&] { return panel->lblTime->text() > "00:00:01"; }))
        << panel->lblTime->text().toStdString();
    QTest::mouseClick(panel->imgbtnPlay, Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([&] { return panel->trcPreview->value() > released; }))
        << "the bar stays at " << panel->trcPreview->value();
    panel->imgbtnStopClick();
    EXPECT_FALSE(panel->Player().IsOpen());
    ::unsetenv("QUOVO_CONFIG_DIR");
}

} // namespace
} // namespace quovo
