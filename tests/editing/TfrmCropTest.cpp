// The crop dialog offscreen with its real player: the tracker placed on the fitted picture, the
// spin boxes and the mouse moving it, what OK stores, and the reopening.
#include "TfrmCrop.h"
#include "EditingTestSupport.h"
#include "QtTestApp.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <mutex>

using namespace quovo;
using namespace quovo::editingtest;

namespace {

// 2 s of 720 x 480.
const std::string& NtscClip() {
    static std::once_flag once;
    static std::string path;
    std::call_once(once, [] {
        path = fixtures::FixtureDir() + "/editing-720x480.mkv";
        fixtures::MediaSpec spec;
        spec.width = 720;
        spec.height = 480;
        spec.durationS = 2.0;
        fixtures::MakeMedia(path, spec);
    });
    return path;
}

// 2 s of 720 x 576 whose pixels make it 16:9 on screen, as a wide PAL disc title.
const std::string& WidePalClip() {
    static std::once_flag once;
    static std::string path;
    std::call_once(once, [] {
        path = fixtures::FixtureDir() + "/editing-720x576-wide.mpg";
        fixtures::MakeMedia(path, fixtures::PalSpec(true, 2.0));
    });
    return path;
}

void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TEST(CropDialog, SpinBoxesAndOkStoreEvenSourceMargins) {
    TlvFilesRecord row = FileRow(NtscClip());
    row.ZoomMode = "pan";
    {
        TfrmCrop dialog(row, NtscClip(), "clip.mkv");
        dialog.show();
        EXPECT_TRUE(dialog.RectTracker->isVisible());
        EXPECT_EQ(dialog.RectTracker->geometry(), QRect(1, 4, 368, 245));
        const int64_t d = dialog.Preview().Duration();
        EXPECT_EQ(dialog.Preview().lblLength->text().toStdString(),
                  std::to_string(d / 1000000) + "." + std::to_string(d / 100000 % 10) +
                      std::to_string(d / 10000 % 10) + std::to_string(d / 1000 % 10) + " Second");
        dialog.spedUp->setValue(10);
        dialog.spedLeft->setValue(5);
        EXPECT_EQ(dialog.RectTracker->geometry(), QRect(6, 14, 363, 235));
        // Frames reach the preview through the hook and the timer.
        EXPECT_TRUE(WaitUntil([&] { return !dialog.imgPreview->Frame().isNull(); }));
        dialog.btnOkClick();
    }
    EXPECT_EQ(row.CropTop, 20);
    EXPECT_EQ(row.CropLeft, 10);
    EXPECT_EQ(row.CropBottom, 0);
    EXPECT_EQ(row.ViewCropTop, 10);
    EXPECT_EQ(row.ViewCropLeft, 5);
    EXPECT_EQ(row.ZoomMode, "full");

    // Reopened: the stored margins; dragging the box's body past the top pins it there.
    TfrmCrop dialog(row, NtscClip(), "clip.mkv");
    dialog.show();
    EXPECT_EQ(dialog.spedUp->value(), 10);
    EXPECT_EQ(dialog.spedLeft->value(), 5);
    TRectTracker* t = dialog.RectTracker;
    Mouse(t, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
    Mouse(t, QEvent::MouseMove, {100, 60}, Qt::LeftButton);
    Mouse(t, QEvent::MouseButtonRelease, {100, 60}, Qt::NoButton);
    EXPECT_EQ(dialog.spedUp->value(), 0);
    EXPECT_EQ(t->geometry().top(), 4);
    dialog.btnResetClick();
    EXPECT_EQ(t->geometry(), QRect(1, 4, 368, 245));
    dialog.btnOkClick();
    EXPECT_EQ(row.CropTop, 0);
    EXPECT_EQ(row.CropLeft, 0);
    EXPECT_EQ(row.ViewCropLeft, 0);
}

// A wide title is shown and cut at its shape on screen: 16:9 with bands above and below, and the
// margins are still taken back to the source's own pixels.
TEST(CropDialog, WideTitleIsShownAtItsShape) {
    TlvFilesRecord row = FileRow(WidePalClip());
    TfrmCrop dialog(row, WidePalClip(), "wide.mkv");
    dialog.show();
    // 1024 x 576 on screen fitted into 370 x 253: 370 x 208 from row 22, less the one-pixel inset.
    EXPECT_EQ(dialog.RectTracker->geometry(), QRect(1, 23, 368, 207));
    ASSERT_TRUE(WaitUntil([&] { return !dialog.imgPreview->Frame().isNull(); }));
    const QImage shown = dialog.imgPreview->grab().toImage();
    EXPECT_EQ(shown.pixelColor(185, 10), QColor(166, 202, 240)) << "band above the picture";
    EXPECT_EQ(shown.pixelColor(185, 243), QColor(166, 202, 240)) << "band below the picture";
    EXPECT_NE(shown.pixelColor(185, 126), QColor(166, 202, 240));
    dialog.spedLeft->setValue(46);
    dialog.spedUp->setValue(26);
    dialog.btnOkClick();
    EXPECT_EQ(row.CropLeft, 90); // 46 of 368 preview columns are 90 of 720 source columns
    EXPECT_EQ(row.CropTop, 72);  // 26 of 207 preview rows are 72 of 576 source rows
}

TEST(CropDialog, NothingOpenStoresZeroCrop) {
    TlvFilesRecord row = FileRow(NtscClip());
    row.CropTop = 8;
    TfrmCrop dialog(row, fixtures::FixtureDir() + "/missing.mkv", "missing.mkv");
    dialog.show();
    EXPECT_FALSE(dialog.spedUp->isEnabled());
    EXPECT_FALSE(dialog.Preview().imgbtnPlay->isEnabled());
    EXPECT_FALSE(dialog.Preview().imgbtnPause->isEnabled());
    dialog.btnOkClick();
    EXPECT_EQ(row.CropTop, 0);
}

} // namespace
