// The Edit menu's editing entries and the pop-up menu's that trigger them: each opens its
// dialog for the selected row with the main preview stopped, and OK writes the row's record;
// the trim also rewrites the row's trimmed-length cell. Rows edited in the dialogs are then
// converted by the main window's Start, and the outputs' frames show the edits.
#include "WinMain.h"

#include "../formats/FormatsTestSupport.h"
#include "../run/RunTestSupport.h"
#include "Fixtures.h"
#include "FrameEffects.h"
#include "QtTestApp.h"
#include "RecordEffects.h"
#include "TEditingDialogs.h"
#include "TEffectsCache.h"
#include "TMainWindowRun.h"
#include "TPreviewPanel.h"
#include "TTrimModel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QtTest/QTest>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;

class EditingCommandsTest : public ::testing::Test {
public:
    EditingCommandsTest() {
        ::setenv("QUOVO_CONFIG_DIR", dir_.Path().c_str(), 1);
        // The first format at the source's size and frame rate, letterboxed: output frames match
        // the source's one for one.
        dir_.WriteFile("quovo.ini", "[settings]\nOutPutDir=" + Out() +
                                        "\n[formatInfo1]\niVideoSize=1\nparaVideoSize=as source\n"
                                        "iFrameRate=6\nparaFrameRate=as source\nparaZoom=lbox\n");
        fixtures::MediaSpec spec;
        spec.durationS = 4.0;
        // Every frame a key frame, none reordered: the input's seek lands on the trim's frame.
        spec.gopSize = 1;
        spec.maxBFrames = 0;
        fixtures::MakeMedia(clip_, spec);
        window_ = std::make_unique<TfrmMain>(dialogs_);
        window_->show();
        panel_ = window_->findChild<TPreviewPanel*>("gbPreview");
        panel_->Player().AudioDriver = adDummy;
        window_->SourceList().AddFileRow(std::make_unique<TlvFilesRecord>(
            MakeFileRecord(0, clip_, dir_ / "clip.mp4", 4, "lbox")));
    }
    ~EditingCommandsTest() override {
        window_.reset();
        ::unsetenv("QUOVO_CONFIG_DIR");
    }

    // Triggers `action` and, while its dialog is open, calls `step` every 20 ms until it says
    // the dialog is done with (it then closes it). Returns whether a dialog came up.
    bool WhileOpen(const char* action, std::function<bool(QDialog&)> step) {
        bool opened = false;
        QTimer timer;
        const auto started = std::chrono::steady_clock::now();
        QObject::connect(&timer, &QTimer::timeout, [&] {
            QDialog* dialog = window_->EditingDialogs().Current();
            if (dialog == nullptr || !dialog->isVisible()) {
                return;
            }
            opened = true;
            if (std::chrono::steady_clock::now() - started > std::chrono::seconds(20)) {
                ADD_FAILURE() << "the dialog never got where the test waited";
                dialog->reject();
            } else if (step(*dialog)) {
                timer.stop();
            }
        });
        timer.start(20);
        window_->findChild<QAction*>(action)->trigger();
        timer.stop();
        return opened;
    }

    TlvFilesRecord& Row() { return window_->SourceList().Record(0); }
    std::string Out() const { return dir_ / "out"; }

    // Converts the checked rows through the window's Start; returns the row's output.
    std::string Convert() {
        window_->RunControl().SetDesktop(desktop_);
        window_->SetFolderOpener([](const QString&) {});
        int ended = 0;
        QObject::connect(&window_->RunControl().Run(), &TBatchRun::RunFinished, [&] { ++ended; });
        QPushButton* start = window_->findChild<QPushButton*>("btnStart2");
        EXPECT_TRUE(start->isEnabled());
        QTest::mouseClick(start, Qt::LeftButton);
        EXPECT_TRUE(test::WaitUntil([&] { return ended > 0; }, 120));
        EXPECT_EQ(window_->SourceList().Cell(0, window_->SourceList().ProgressColumn()), "100%");
        return Out() + "/clip_(new).mp4";
    }

    TScratchFolder dir_;
    const std::string clip_ = dir_ / "clip.mkv";
    TRecordingDialogs dialogs_;
    test::TRecordingDesktop desktop_;
    std::unique_ptr<TfrmMain> window_;
    TPreviewPanel* panel_ = nullptr;
};

TEST_F(EditingCommandsTest, EachEntryOpensItsDialogForTheSelectedRow) {
    EXPECT_FALSE(WhileOpen("Crop1", [](QDialog&) { return true; })) << "no row selected";

    window_->SelectRow(0);
    panel_->imgbtnPlayClick();
    ASSERT_TRUE(test::WaitUntil([&] { return panel_->Player().IsOpen(); }));
    bool previewStopped = false;
    EXPECT_TRUE(WhileOpen("Crop2", [&](QDialog& dialog) {
        previewStopped = !panel_->Player().IsOpen();
        auto& crop = static_cast<TfrmCrop&>(dialog);
        crop.spedUp->setValue(10);
        crop.btnOkClick();
        return true;
    }));
    EXPECT_TRUE(previewStopped) << "one player at a time";
    EXPECT_GT(Row().CropTop, 0);

    EXPECT_TRUE(WhileOpen("VideoEffect1", [](QDialog& dialog) {
        auto& effects = static_cast<TfrmWaterMark&>(dialog);
        effects.spedtBrightness->setValue(300);
        effects.btnOkClick();
        return true;
    }));
    EXPECT_EQ(Row().Brightness, 300);

    const QString before = window_->SourceList().Cell(0, 2);
    std::string cell;
    EXPECT_TRUE(WhileOpen("Trim2", [&](QDialog& dialog) {
        auto& trim = static_cast<TfrmTrim&>(dialog);
        if (trim.Preview().Player().Position() < 1000000) {
            return false;
        }
        trim.btnOk2Click(); // the end mark where it plays
        trim.btnOkClick();
        cell = trim.CellText();
        return true;
    }));
    EXPECT_GT(Row().TrimLength, 0);
    EXPECT_EQ(cell, FormatTrimCell(Row().TrimLength));
    EXPECT_EQ(window_->SourceList().Cell(0, 2).toStdString(), cell);
    EXPECT_NE(window_->SourceList().Cell(0, 2), before);

    // Cancel leaves the record and the cell as they are.
    const int64_t trimmed = Row().TrimLength;
    EXPECT_TRUE(WhileOpen("Trim1", [](QDialog& dialog) {
        static_cast<TfrmTrim&>(dialog).btnCancelClick();
        return true;
    }));
    EXPECT_EQ(Row().TrimLength, trimmed);
    EXPECT_EQ(window_->SourceList().Cell(0, 2).toStdString(), cell);
}

// Rows of the picture as 24-bit BGR.
void ToPicture(const AVFrame& bgr, TPicture& p) {
    p.SetSize(bgr.width, bgr.height);
    for (int y = 0; y < bgr.height; ++y) {
        std::memcpy(p.ScanLine(y), bgr.data[0] + static_cast<ptrdiff_t>(y) * bgr.linesize[0],
                    3 * static_cast<size_t>(bgr.width));
    }
}

TEST_F(EditingCommandsTest, ConvertedRowShowsTheEffectsAndTheTextWhereTheDialogPlacedThem) {
    window_->SelectRow(0);
    EXPECT_TRUE(WhileOpen("VideoEffect1", [](QDialog& dialog) {
        auto& effects = static_cast<TfrmWaterMark&>(dialog);
        if (effects.edtFont->text().isEmpty()) {
            effects.pgcWaterMark->setCurrentIndex(0);
            QTest::keyClicks(effects.edtFont, "QUOVO");
            effects.cmbFontSize->setCurrentText("20");
            QTest::mouseClick(effects.ckBold, Qt::LeftButton);
            effects.trcTextHoriz->setValue(12);
            effects.trcTextVert->setValue(62);
            effects.spedtBrightness->setValue(512);
            return false;
        }
        // OK once the preview has drawn the text where the bars put it.
        if (effects.KeptPositions()[0] != 38 || effects.KeptPositions()[1] != 148) {
            return false;
        }
        QTest::mouseClick(effects.btnOk, Qt::LeftButton);
        return true;
    }));
    ASSERT_EQ(Row().Brightness, 512);
    ASSERT_EQ(Row().WaterText, "QUOVO");
    ASSERT_EQ(Row().TextLeft, 38); // 12 % of 320
    ASSERT_EQ(Row().TextTop, 148); // 62 % of 240

    const std::string output = Convert();
    const auto source = fixtures::DecodePictures(clip_, AV_PIX_FMT_BGR24);
    const auto converted = fixtures::DecodePictures(output, AV_PIX_FMT_BGR24);
    ASSERT_EQ(source.size(), 100u);
    // The sound's lead may repeat the first picture at the start.
    ASSERT_GE(converted.size(), source.size());
    ASSERT_LE(converted.size(), source.size() + 3);
    const size_t lead = converted.size() - source.size();

    // The text's solid pixels, drawn here on white as the conversion draws them.
    const TFrameEffects effects = FrameEffectsOf(Row());
    TEffectsCache cache;
    TPicture mask(320, 240);
    for (int y = 0; y < 240; ++y) {
        std::memset(mask.ScanLine(y), 255, 3 * 320);
    }
    DrawWaterText(mask, cache, effects.Text, effects.Font, effects.TextColor, effects.TextLeft,
                  effects.TextTop);
    for (size_t i = 0; i < source.size(); i += 9) {
        TPicture before, expected, got;
        ToPicture(*source[i], before);
        ToPicture(*source[i], expected);
        ApplyFrameEffects(expected, effects, cache);
        ToPicture(*converted[i + lead], got);
        ASSERT_EQ(got.Width(), 320);
        ASSERT_EQ(got.Height(), 240);
        double diff = 0, brighter = 0;
        int textPixels = 0, darkText = 0;
        for (int y = 0; y < 240; ++y) {
            for (int x = 0; x < 320; ++x) {
                const uint8_t* g = got.ScanLine(y) + 3 * x;
                for (int k = 0; k < 3; ++k) {
                    diff += std::abs(g[k] - expected.ScanLine(y)[3 * x + k]);
                    brighter += g[k] - before.ScanLine(y)[3 * x + k];
                }
                if (mask.ScanLine(y)[3 * x] == 0) {
                    ++textPixels;
                    darkText += g[0] + g[1] + g[2] < 3 * 70;
                }
            }
        }
        const double samples = 320.0 * 240 * 3;
        EXPECT_LT(diff / samples, 6.0) << "frame " << i; // the encoder's loss only
        EXPECT_GT(brighter / samples, 15.0) << "frame " << i;
        EXPECT_GT(textPixels, 200);
        EXPECT_GT(darkText, textPixels * 8 / 10) << "frame " << i;
    }
}

TEST_F(EditingCommandsTest, TrimmedAndCroppedRowConvertsToItsPartAndItsKeptPicture) {
    window_->SelectRow(0);
    EXPECT_TRUE(WhileOpen("Trim1", [](QDialog& dialog) {
        auto& trim = static_cast<TfrmTrim&>(dialog);
        const int64_t at = trim.Preview().Player().Position();
        if (trim.Model().Start() == 0 && at > 800000) {
            QTest::mouseClick(trim.btnOk1, Qt::LeftButton);
        } else if (trim.Model().Start() > 0 && at > trim.Model().Start() + 1500000) {
            QTest::mouseClick(trim.btnOk2, Qt::LeftButton);
            QTest::mouseClick(trim.btnOk, Qt::LeftButton);
            return true;
        }
        return false;
    }));
    EXPECT_TRUE(WhileOpen("Crop1", [](QDialog& dialog) {
        auto& crop = static_cast<TfrmCrop&>(dialog);
        crop.spedUp->setValue(20);
        crop.spedDown->setValue(20);
        QTest::mouseClick(crop.btnOk, Qt::LeftButton);
        return true;
    }));
    const int64_t start = Row().TrimStart, length = Row().TrimLength;
    ASSERT_GT(start, 800000);
    ASSERT_GT(length, 1500000);
    const int top = Row().CropTop, bottom = Row().CropBottom;
    ASSERT_GT(top, 0);
    ASSERT_GT(bottom, 0);
    EXPECT_EQ(Row().CropLeft + Row().CropRight, 0);

    const std::string output = Convert();
    const auto source = fixtures::DecodePictures(clip_, AV_PIX_FMT_GRAY8);
    const auto converted = fixtures::DecodePictures(output, AV_PIX_FMT_GRAY8);
    ASSERT_FALSE(converted.empty());
    const int kept = 240 - top - bottom;
    const int band = (240 - kept) / 2;
    // Each output frame: the kept rows in the middle at their own size between black bands, and
    // the source frame they show.
    std::vector<int> shown;
    for (const auto& frame : converted) {
        ASSERT_EQ(frame->width, 320);
        ASSERT_EQ(frame->height, 240);
        EXPECT_LT(fixtures::MeanLevel(*frame, 0, 0, 320, band - 1), 20);
        EXPECT_LT(fixtures::MeanLevel(*frame, 0, band + kept + 1, 320, 240 - band - kept - 1), 20);
        int best = -1;
        double bestDiff = 1e9;
        for (size_t i = 0; i < source.size(); ++i) {
            const double d = fixtures::MeanDiff(*frame, 0, band, 320, kept, *source[i], 0, top);
            if (d < bestDiff) {
                bestDiff = d;
                best = static_cast<int>(i);
            }
        }
        EXPECT_LT(bestDiff, 6.0);
        shown.push_back(best);
    }
    // From the frame on show at the start mark to the one on show at the end mark, each once
    // (the sound's lead may repeat the first); 25 frames a second.
    EXPECT_NEAR(shown.front(), std::floor(start * 25 / 1e6), 1.0);
    EXPECT_NEAR(shown.back(), std::floor((start + length) * 25 / 1e6), 1.0);
    for (size_t i = 1; i < shown.size(); ++i) {
        EXPECT_TRUE(shown[i] == shown[i - 1] || shown[i] == shown[i - 1] + 1)
            << "frame " << i << " shows " << shown[i] << " after " << shown[i - 1];
    }
}

} // namespace
} // namespace quovo
