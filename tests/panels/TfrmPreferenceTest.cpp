#include "TfrmPreference.h"

#include "../formats/FormatsTestSupport.h"
#include "QtTestApp.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

namespace quovo {
namespace {

class TfrmPreferenceTest : public ::testing::Test {
protected:
    std::string Stored(const char* key) const {
        return settings_.ReadString("settings", key, "<missing>");
    }
    void Open() {
        dialog_.Reload();
        dialog_.show();
    }

    test::TScratchFolder dir_;
    TIniStore settings_{dir_ / "quovo.ini"};
    test::TRecordingDialogs dialogs_;
    QString chosen_;           // what the folder chooser answers
    QStringList opened_;       // folders handed to the file manager
    QStringList chooserAsked_; // folders the chooser started from
    TfrmPreference dialog_{settings_, dialogs_, "/videos/videoconverter",
                           [this](const QString& current) {
                               chooserAsked_ << current;
                               return chosen_;
                           },
                           [this](const QString& folder) { opened_ << folder; }};
};

TEST_F(TfrmPreferenceTest, ShowsTheStoredValuesOrTheDefaults) {
    Open();
    EXPECT_EQ(dialog_.windowTitle(), "Preference");
    EXPECT_EQ(dialog_.edtSnapDirectory->text(), "/videos/videoconverter");
    for (QCheckBox* box : {dialog_.ckFullSize, dialog_.ckSmallSize, dialog_.ckBmp, dialog_.ckJpg}) {
        EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    }
    EXPECT_EQ(dialog_.spedCmp->value(), 30);
    EXPECT_EQ(dialog_.trcCmp->value(), 30);
    EXPECT_TRUE(dialog_.trcCmp->isEnabled());
    EXPECT_EQ(dialog_.rdGrpPriority->checkedId(), 1);
    EXPECT_TRUE(dialog_.ckAllCores->isChecked());
    EXPECT_EQ(dialog_.spedAtOnce->value(), 1);

    // A box is shown as stored, also after an earlier showing had it checked; a pair stored with
    // both boxes off shows its first box on.
    settings_.WriteValues("settings", {{"SnapOutPutDir", "/snaps"},
                                       {"snapFullSize", "0"},
                                       {"snapSmallSize", "0"},
                                       {"snapBmp", "1"},
                                       {"snapJpg", "0"},
                                       {"jpgCmp", "85"},
                                       {"Priority", "3"},
                                       {"allCores", "0"},
                                       {"conversionsAtOnce", "999"}});
    Open();
    EXPECT_EQ(dialog_.edtSnapDirectory->text(), "/snaps");
    EXPECT_TRUE(dialog_.ckFullSize->isChecked());
    EXPECT_FALSE(dialog_.ckSmallSize->isChecked());
    EXPECT_TRUE(dialog_.ckBmp->isChecked());
    EXPECT_FALSE(dialog_.ckJpg->isChecked());
    EXPECT_FALSE(dialog_.trcCmp->isEnabled());
    EXPECT_FALSE(dialog_.spedCmp->isEnabled());
    EXPECT_EQ(dialog_.trcCmp->value(), 85);
    EXPECT_EQ(dialog_.rdGrpPriority->checkedId(), 3);
    EXPECT_FALSE(dialog_.ckAllCores->isChecked());
    // No more conversions at once than there are cores.
    EXPECT_EQ(dialog_.spedAtOnce->value(), std::max(1, QThread::idealThreadCount()));
}

TEST_F(TfrmPreferenceTest, OneSizeAndOneTypeStayChecked) {
    struct Case {
        QCheckBox* TfrmPreference::*clicked;
        QCheckBox* TfrmPreference::*other;
        bool otherChecked;
        bool clickedAfter;
    } cases[] = {
        {&TfrmPreference::ckFullSize, &TfrmPreference::ckSmallSize, false, true},
        {&TfrmPreference::ckFullSize, &TfrmPreference::ckSmallSize, true, false},
        {&TfrmPreference::ckSmallSize, &TfrmPreference::ckFullSize, false, true},
        {&TfrmPreference::ckBmp, &TfrmPreference::ckJpg, false, true},
        {&TfrmPreference::ckJpg, &TfrmPreference::ckBmp, false, true},
        {&TfrmPreference::ckJpg, &TfrmPreference::ckBmp, true, false},
    };
    Open();
    for (const Case& c : cases) {
        QCheckBox* clicked = dialog_.*c.clicked;
        QCheckBox* other = dialog_.*c.other;
        SCOPED_TRACE(clicked->objectName().toStdString() + (c.otherChecked ? " other on" : ""));
        clicked->setChecked(true);
        other->setChecked(c.otherChecked);
        clicked->setFocus();
        QTest::keyClick(clicked, Qt::Key_Space); // unchecking it
        EXPECT_EQ(clicked->isChecked(), c.clickedAfter);
        if (clicked == dialog_.ckJpg) {
            EXPECT_EQ(dialog_.trcCmp->isEnabled(), c.clickedAfter);
            EXPECT_EQ(dialog_.spedCmp->isEnabled(), c.clickedAfter);
        }
    }
    // Checking JPG again brings the quality controls back.
    QTest::keyClick(dialog_.ckJpg, Qt::Key_Space);
    EXPECT_TRUE(dialog_.trcCmp->isEnabled());
}

TEST_F(TfrmPreferenceTest, QualityBarAndSpinBoxFollowEachOther) {
    Open();
    dialog_.trcCmp->setValue(55);
    EXPECT_EQ(dialog_.spedCmp->value(), 55);
    dialog_.spedCmp->setFocus();
    QTest::keyClick(dialog_.spedCmp, Qt::Key_Up);
    EXPECT_EQ(dialog_.trcCmp->value(), 56);
}

TEST_F(TfrmPreferenceTest, DefaultThenOkWritesTheDefaults) {
    settings_.WriteValues("settings", {{"SnapOutPutDir", "/snaps"}, {"jpgCmp", "85"}});
    Open();
    dialog_.rdGrpPriority->button(0)->click();
    dialog_.ckAllCores->setChecked(false);
    QTest::mouseClick(dialog_.btnDefault, Qt::LeftButton);
    ASSERT_EQ(Stored("SnapOutPutDir"), "/snaps"); // nothing written before Ok
    QTest::mouseClick(dialog_.btnOk, Qt::LeftButton);
    EXPECT_EQ(dialog_.result(), QDialog::Accepted);
    struct Case {
        const char* key;
        const char* value;
    } cases[] = {
        {"SnapOutPutDir", "/videos/videoconverter"},
        {"snapBmp", "1"},
        {"snapJpg", "0"},
        {"snapFullSize", "1"},
        {"snapSmallSize", "0"},
        {"jpgCmp", "20"},
        {"priority", "1"},
        {"allCores", "1"},
        {"conversionsAtOnce", "1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Stored(c.key), c.value) << c.key;
    }
}

TEST_F(TfrmPreferenceTest, BrowseWritesTheFolderAtOnceCancelNothingElse) {
    settings_.WriteString("settings", "SnapOutPutDir", "/snaps");
    Open();
    // The chooser cancelled: nothing changes.
    QTest::mouseClick(dialog_.btnBrows, Qt::LeftButton);
    EXPECT_EQ(chooserAsked_, QStringList({"/snaps"}));
    EXPECT_EQ(dialog_.edtSnapDirectory->text(), "/snaps");

    chosen_ = "/elsewhere";
    dialog_.ckSmallSize->click();
    QTest::mouseClick(dialog_.btnBrows, Qt::LeftButton);
    EXPECT_EQ(dialog_.edtSnapDirectory->text(), "/elsewhere");
    EXPECT_EQ(Stored("SnapOutPutDir"), "/elsewhere");
    QTest::mouseClick(dialog_.btnOpen, Qt::LeftButton);
    EXPECT_EQ(opened_, QStringList({"/elsewhere"}));

    QTest::mouseClick(dialog_.btnCancel, Qt::LeftButton);
    EXPECT_EQ(dialog_.result(), QDialog::Rejected);
    EXPECT_EQ(Stored("SnapOutPutDir"), "/elsewhere");
    EXPECT_EQ(Stored("snapSmallSize"), "<missing>");
}

} // namespace
} // namespace quovo
