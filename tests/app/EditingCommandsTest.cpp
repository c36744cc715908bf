// The Edit menu's editing entries and the pop-up menu's that trigger them: each opens its
// dialog for the selected row with the main preview stopped, and OK writes the row's record;
// the trim also rewrites the row's trimmed-length cell.
#include "WinMain.h"

#include "../formats/FormatsTestSupport.h"
#include "Fixtures.h"
#include "QtTestApp.h"
#include "TEditingDialogs.h"
#include "TPreviewPanel.h"
#include "TTrimModel.h"

#include <QAction>
#include <QSpinBox>
#include <QTimer>

#include <chrono>
#include <functional>

namespace quovo {
namespace {

using test::TRecordingDialogs;
using test::TScratchFolder;

class EditingCommandsTest : public ::testing::Test {
public:
    EditingCommandsTest() {
        ::setenv("QUOVO_CONFIG_DIR", dir_.Path().c_str(), 1);
        fixtures::MediaSpec spec;
        spec.durationS = 4.0;
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

    TScratchFolder dir_;
    const std::string clip_ = dir_ / "clip.mkv";
    TRecordingDialogs dialogs_;
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

} // namespace
} // namespace quovo
