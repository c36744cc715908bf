// The effects and watermark dialog offscreen with its real player: what it shows for a row, the
// live preview's positions, and what OK, Clear Image and Cancel leave in the record; then the
// record it wrote converted through the component.
#include "TfrmWaterMark.h"
#include "EditingTestSupport.h"
#include "QtTestApp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QtTest/QTest>

#include <gtest/gtest.h>

using namespace quovo;
using namespace quovo::editingtest;

namespace {

TEST(WaterMarkDialog, ShowsTheRowAndItsCaption) {
    struct Case {
        std::string name;
        QString caption;
    } cases[] = {
        {"clip.mkv", "Water Mark  clip.mkv"},
        {std::string(60, 'a') + ".mkv",
         "Water Mark   " + QString(50, 'a') + "..mkv  "}, // longer than 55: shortened
    };
    for (const Case& c : cases) {
        TlvFilesRecord row = FileRow(Clip());
        TfrmWaterMark dialog(row, Clip(), c.name, nullptr);
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), c.caption);
        EXPECT_EQ(dialog.pgcWaterMark->tabText(dialog.pgcWaterMark->currentIndex()), "Add Image");
        EXPECT_EQ(dialog.spedtBrightness->value(), 255);
        EXPECT_EQ(dialog.spedtContrast->value(), 0);
        EXPECT_EQ(dialog.spedtSaturation->value(), 255);
        EXPECT_EQ(dialog.spedtExposure->value(), 0);
        EXPECT_EQ(dialog.trcImageAlpha->value(), 168);
        EXPECT_EQ(dialog.edtImageAlpha->text(), "168");
        EXPECT_TRUE(dialog.rbTransparent1->isChecked());
        EXPECT_TRUE(dialog.edtFont->text().isEmpty());
        EXPECT_TRUE(dialog.edtAddImage->text().isEmpty());
        EXPECT_EQ(dialog.cmbFontSize->currentText(), "7");
        EXPECT_EQ(dialog.cmbFontSize->count(), 64);
        EXPECT_EQ(dialog.cmbFontColor->currentText(), "Black");
        EXPECT_EQ(dialog.cmbFontFace->currentText(), WatermarkFontFace("MS Sans Serif"));
        EXPECT_FALSE(dialog.trcTextHoriz->isEnabled());  // no text yet
        EXPECT_FALSE(dialog.trcImageHoriz->isEnabled()); // no image yet
        EXPECT_FALSE(dialog.Preview().imgbtnPlay->isEnabled());
        EXPECT_TRUE(dialog.Preview().imgbtnPause->isEnabled());
        dialog.btnCancelClick();
    }
}

TEST(WaterMarkDialog, OkStoresThePreviewsPositionsAndTheChoices) {
    TlvFilesRecord row = FileRow(Clip());
    row.CropTop = 10;
    TfrmWaterMark dialog(row, Clip(), "clip.mkv", nullptr);
    dialog.show();
    dialog.edtFont->setText("Quovo");
    dialog.cmbFontSize->setCurrentText("20");
    dialog.ckBold->setChecked(true);
    dialog.cmbFontColor->setCurrentText("Yellow");
    dialog.trcTextHoriz->setValue(50);
    dialog.trcTextVert->setValue(25);
    dialog.spedtBrightness->setValue(512); // the spin box drives the bar
    dialog.chkProcessText->setChecked(true);
    EXPECT_EQ(dialog.trcBrightness->value(), 512);
    EXPECT_EQ(dialog.edtTextHoriz->text(), "50");
    // The preview's frames go through the hook: positions on the 320 x 240 picture.
    ASSERT_TRUE(WaitUntil([&] { return dialog.KeptPositions()[0] == 160; }));
    EXPECT_EQ(dialog.KeptPositions()[1], 60);

    dialog.btnOkClick();
    EXPECT_EQ(row.WaterText, "Quovo");
    EXPECT_EQ(row.WaterFont.Font.pointSize(), 20);
    EXPECT_TRUE(row.WaterFont.Font.bold());
    EXPECT_EQ(row.WaterFont.Color, QColor(255, 255, 0));
    EXPECT_EQ(row.TextLeft, 160);
    EXPECT_EQ(row.TextTop, 60);
    EXPECT_EQ(row.TextHorizPercent, 50);
    EXPECT_EQ(row.TextVertPercent, 25);
    EXPECT_EQ(row.Brightness, 512);
    EXPECT_EQ(row.ProcessText, 1);
    EXPECT_EQ(row.ImageAlpha, 168);
    EXPECT_EQ(row.ImageBlendStyle, 1);
    EXPECT_TRUE(NeedsFrameHook(row));

    // Reopened, the dialog shows what was stored.
    TfrmWaterMark again(row, Clip(), "clip.mkv", nullptr);
    again.show();
    EXPECT_EQ(again.edtFont->text(), "Quovo");
    EXPECT_EQ(again.cmbFontSize->currentText(), "20");
    EXPECT_EQ(again.cmbFontColor->currentText(), "Yellow");
    EXPECT_TRUE(again.ckBold->isChecked());
    EXPECT_EQ(again.trcTextHoriz->value(), 50);
    EXPECT_EQ(again.spedtBrightness->value(), 512);
    again.btnCancelClick();
}

TEST(WaterMarkDialog, ClearImageResetAndCancel) {
    TlvFilesRecord row = FileRow(Clip());
    row.WaterImageFile = "/nowhere/mark.bmp";
    row.ImageAlpha = 200;
    row.ImageHorizPercent = 40;
    row.Contrast = 30;
    row.ProcessImage = 1;
    {
        TfrmWaterMark dialog(row, Clip(), "clip.mkv", nullptr);
        dialog.show();
        EXPECT_EQ(dialog.edtAddImage->text(), "/nowhere/mark.bmp");
        EXPECT_TRUE(dialog.trcImageHoriz->isEnabled());
        dialog.btnResetClick();
        EXPECT_EQ(dialog.spedtContrast->value(), 0);
        EXPECT_FALSE(dialog.chkProcessImage->isChecked());
        dialog.btnCancelClick(); // nothing written
    }
    EXPECT_EQ(row.Contrast, 30);
    EXPECT_EQ(row.WaterImageFile, "/nowhere/mark.bmp");

    TfrmWaterMark dialog(row, Clip(), "clip.mkv", nullptr);
    dialog.show();
    dialog.btnClearImageClick();
    EXPECT_EQ(dialog.trcImageHoriz->value(), 0);
    EXPECT_FALSE(dialog.trcImageHoriz->isEnabled());
    dialog.btnOkClick();
    EXPECT_EQ(row.WaterImageFile, "");
    EXPECT_EQ(row.ImageAlpha, 125);
    EXPECT_EQ(row.ImageHorizPercent, 0);
}

// The middle of the seek bar's thumb where it stands now.
QPoint ThumbCentre(TSeekBar& bar) {
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.orientation = bar.orientation();
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.sliderPosition();
    option.sliderValue = bar.value();
    option.pageStep = bar.pageStep();
    option.singleStep = bar.singleStep();
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    return bar.style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &bar)
        .center();
}

// Drags the thumb by `dx` pixels and lets the button go at `release` (bar coordinates).
void DragThumb(TSeekBar& bar, int dx, QPoint release) {
    const QPoint from = ThumbCentre(bar);
    QTest::mousePress(&bar, Qt::LeftButton, {}, from);
    QTest::mouseMove(&bar, from + QPoint(dx / 2, 0));
    QTest::mouseMove(&bar, from + QPoint(dx, 0));
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, release);
}

TEST(WaterMarkDialog, SeekBarSeeksWhereTheButtonIsReleasedOverIt) {
    TlvFilesRecord row = FileRow(Clip());
    TfrmWaterMark dialog(row, Clip(), "clip.mkv", nullptr);
    dialog.show();
    TDialogPreview& preview = dialog.Preview();
    TSeekBar& bar = *preview.trcPreview;
    TFFPlayer& player = preview.Player();
    ASSERT_TRUE(WaitUntil([&] { return preview.Duration() > 0; }));
    const int64_t duration = preview.Duration();
    EXPECT_EQ(bar.maximum(), bar.width());
    EXPECT_EQ(bar.value(), 0);
    EXPECT_TRUE(bar.isEnabled());
    EXPECT_EQ(bar.tickPosition(), QSlider::NoTicks);
    EXPECT_GE(bar.SelStart(), bar.SelEnd()); // no marked stretch

    // The thumb does not follow playback.
    ASSERT_TRUE(WaitUntil([&] { return player.Position() > 600000; }));
    EXPECT_EQ(bar.value(), 0);
    QTest::mouseClick(preview.imgbtnPause, Qt::LeftButton);
    EXPECT_TRUE(preview.imgbtnPlay->isEnabled());
    // Paused once the position stays put (a frame on its way may still show).
    int64_t paused = -1;
    ASSERT_TRUE(WaitUntil([&] {
        const int64_t before = player.Position();
        QTest::qWait(300);
        paused = player.Position();
        return paused == before;
    }));

    // A drag let go below the bar moves the thumb but does not seek.
    DragThumb(bar, bar.width() / 2, QPoint(bar.width() / 2, bar.height() + 40));
    EXPECT_GT(bar.value(), 0);
    QTest::qWait(500);
    EXPECT_EQ(player.Position(), paused);

    // A press on the groove steps the thumb; let go elsewhere, nothing seeks either.
    const QPoint groove(bar.width() * 7 / 8, bar.height() / 2);
    QTest::mousePress(&bar, Qt::LeftButton, {}, groove);
    QTest::qWait(300);
    QTest::mouseMove(&bar, groove + QPoint(0, bar.height() + 40));
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, groove + QPoint(0, bar.height() + 40));
    QTest::qWait(500);
    EXPECT_EQ(player.Position(), paused);

    // Let go over the bar: the player goes to that share of the duration (the picture shown is
    // the key frame at or before it: the clip has one each half second).
    DragThumb(bar, bar.width() / 4, ThumbCentre(bar) + QPoint(bar.width() / 4, 0));
    const auto target = static_cast<int64_t>(static_cast<double>(bar.value()) / bar.maximum() *
                                             static_cast<double>(duration));
    EXPECT_GT(target, duration / 2);
    EXPECT_TRUE(WaitUntil([&] {
        return player.Position() > target - 500000 && player.Position() <= target + 40000;
    })) << player.Position()
        << " for " << target;

    // At the end the preview waits at the start with the bar disabled; play starts it again.
    QTest::mouseClick(preview.imgbtnPlay, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !bar.isEnabled(); }));
    EXPECT_EQ(bar.value(), 0);
    EXPECT_TRUE(preview.imgbtnPlay->isEnabled());
    EXPECT_FALSE(preview.imgbtnPause->isEnabled());
    QTest::mouseClick(preview.imgbtnPlay, Qt::LeftButton);
    EXPECT_TRUE(bar.isEnabled());
    EXPECT_TRUE(WaitUntil([&] { return player.Position() < duration / 2; }))
        << "it plays from the start again";
    dialog.btnCancelClick();
}

} // namespace
