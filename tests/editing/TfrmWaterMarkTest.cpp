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
#include <QTabWidget>

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

} // namespace
