#include "TMainWindowDialogs.h"

#include "../formats/FormatsTestSupport.h"
#include "FormatCatalogue.h"
#include "QtTestApp.h"
#include "TFormatPicker.h"
#include "TParameterBoxes.h"
#include "TfmDirectory.h"
#include "TfrmSettings.h"
#include "WinMain.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace quovo {
namespace {

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) {
        items << box->itemText(i);
    }
    return items;
}

// The main window on a settings folder of its own and the shipped format file.
class TMainWindowDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUOVO_CONFIG_DIR", dir_.Path().c_str(), 1);
        main_ = std::make_unique<TfrmMain>(dialogs_);
        wiring_ = new TMainWindowDialogs(*main_, [this](const QString& f) { opened_ << f; });
        main_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(main_.get()));
    }
    void TearDown() override {
        main_.reset();
        unsetenv("QUOVO_CONFIG_DIR");
    }
    std::string Stored(const std::string& section, const char* key) {
        return main_->Settings().ReadString(section, key, "<missing>");
    }
    // Runs inside the next modal loop.
    template <typename F> void InModal(F f) { QTimer::singleShot(0, main_.get(), f); }

    test::TScratchFolder dir_;
    test::TRecordingDialogs dialogs_;
    QStringList opened_;
    std::unique_ptr<TfrmMain> main_;
    TMainWindowDialogs* wiring_ = nullptr;
};

TEST_F(TMainWindowDialogsTest, TheBoxesShowTheCurrentFormatAndWriteAtOnce) {
    TParameterBoxes* boxes = wiring_->Boxes();
    EXPECT_TRUE(boxes->isVisible());
    EXPECT_TRUE(main_->isAncestorOf(boxes));
    EXPECT_EQ(Items(boxes->cmbVideoSize), QStringList({"320x240", "as source"}));
    boxes->cmbVolume->setCurrentIndex(boxes->cmbVolume->findText("150%"));
    EXPECT_EQ(Stored("formatInfo1", "paraVolume"), "384");
    EXPECT_GE(main_->width(), 786);
}

TEST_F(TMainWindowDialogsTest, SettingsOkMakesTheDialogsFormatCurrent) {
    const std::string name = FindFormat(1201)->Name;
    bool shown = false;
    InModal([&] {
        TfrmSettings& dialog = wiring_->SettingsDialog();
        shown = dialog.isVisible();
        TFormatPicker& picker = *dialog.Picker;
        const auto& rows = picker.Rows().Rows();
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].Info.IsCategory && rows[i].Info.Code == 12 && rows[i].Info.Collapsed) {
                picker.RowActivate(static_cast<int>(i));
            }
        }
        for (size_t i = 0; i < picker.Rows().Rows().size(); ++i) {
            if (picker.Rows().Rows()[i].Info.IsFormat &&
                picker.Rows().Rows()[i].Info.Code == 1201) {
                picker.RowActivate(static_cast<int>(i));
                break;
            }
        }
        dialog.Boxes->cmbVideoSize->setCurrentIndex(1);
        emit dialog.Boxes->cmbVideoSize->activated(1);
        dialog.btnOk->click();
    });
    main_->findChild<QToolButton*>("btnSettings")->click();
    EXPECT_TRUE(shown);
    EXPECT_EQ(main_->CurrentFormatCode(), 1201);
    EXPECT_EQ(main_->FormatPicker()->Field()->text().toStdString(), name);
    EXPECT_EQ(Stored("settings", "FormatCode"), "1201");
    EXPECT_EQ(Stored("formatInfo1201", "paraVideoSize"), "640x480");
    EXPECT_EQ(wiring_->Boxes()->cmbVideoSize->currentText(), "640x480");
    EXPECT_EQ(Items(wiring_->Boxes()->cmbVideoEncoder), QStringList({"xvid", "mpeg-4"}));
}

TEST_F(TMainWindowDialogsTest, SettingsCancelChangesNothing) {
    const QString field = main_->FormatPicker()->Field()->text();
    InModal([&] {
        TfrmSettings& dialog = wiring_->SettingsDialog();
        dialog.ChooseFormat("elsewhere", 1201);
        dialog.btnCancel->click();
    });
    main_->findChild<QAction*>("Settings1")->trigger();
    EXPECT_EQ(main_->CurrentFormatCode(), 1);
    EXPECT_EQ(main_->FormatPicker()->Field()->text(), field);
    EXPECT_EQ(Stored("settings", "FormatCode"), "<missing>");
    EXPECT_EQ(Stored("formatInfo1201", "Description"), "<missing>");
}

TEST_F(TMainWindowDialogsTest, BrowsOpenAndPreference) {
    std::filesystem::create_directories(dir_ / "out");
    const QString out = QString::fromStdString(dir_ / "out");
    InModal([&] {
        TfmDirectory& chooser = wiring_->FolderChooser();
        ASSERT_TRUE(chooser.SelectFolder(out));
        chooser.btnOk->click();
    });
    main_->findChild<QPushButton*>("btnBrows")->click();
    EXPECT_EQ(Stored("settings", "OutPutDir"), out.toStdString());

    main_->findChild<QPushButton*>("btnOpen")->click();
    EXPECT_EQ(opened_, QStringList({out}));

    QString title;
    InModal([&] {
        title = wiring_->PreferenceDialog().windowTitle();
        wiring_->PreferenceDialog().reject();
    });
    main_->findChild<QAction*>("Options1")->trigger();
    EXPECT_EQ(title, "Preference");
}

} // namespace
} // namespace quovo
