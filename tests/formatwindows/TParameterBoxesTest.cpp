#include "TParameterBoxes.h"

#include "FormatWindowsTestSupport.h"
#include "TFormatParameterEditor.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace quovo {
namespace {

using test::Items;
using test::TypeInto;

// The boxes as the main window holds them: every accepted change written at once.
class TParameterBoxesTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&window_);
        layout->addWidget(boxes_);
        layout->addWidget(next_);
        boxes_->Bind(editor_);
        test::ShowActive(window_);
    }
    void Load(int code) {
        editor_.Load(code);
        boxes_->Refresh();
        files_.Dialogs.Messages.clear();
    }
    void Leave(QComboBox* box) {
        next_->setFocus(Qt::TabFocusReason);
        ASSERT_FALSE(box->hasFocus());
    }

    test::TWindowFiles files_;
    TFormatParameterEditor editor_{files_.Settings, files_.Formats, files_.Dialogs, "Quovo"};
    QWidget window_;
    TParameterBoxes* boxes_ = new TParameterBoxes(&window_);
    QLineEdit* next_ = new QLineEdit(&window_);
};

TEST_F(TParameterBoxesTest, ShowsTheFormatsListsChoicesAndEnabling) {
    Load(7);
    EXPECT_EQ(Items(boxes_->cmbVideoSize), QStringList({"320x240", "640x480", "as source"}));
    EXPECT_EQ(boxes_->cmbVideoSize->currentText(), "640x480"); // the format file's default
    EXPECT_EQ(boxes_->cmbFrameRate->currentText(), "25");
    EXPECT_EQ(Items(boxes_->cmbZoom), QStringList({"Full Screen", "Letter Box", "Pan and Scan"}));
    EXPECT_EQ(boxes_->cmbVolume->maxVisibleItems(), 3);
    EXPECT_EQ(boxes_->cmbChannel->maxVisibleItems(), 3);
    EXPECT_TRUE(boxes_->cmbVideoSize->isEnabled());
    EXPECT_TRUE(boxes_->btnDefault->isVisible());

    Load(2400); // audio only, no volume list
    for (QComboBox* box : {boxes_->cmbVideoSize, boxes_->cmbVideoEncoder, boxes_->cmbVideoBitRate,
                           boxes_->cmbFrameRate, boxes_->cmbVolume}) {
        EXPECT_FALSE(box->isEnabled()) << box->objectName().toStdString();
        EXPECT_EQ(box->count(), 0) << box->objectName().toStdString();
    }
    EXPECT_FALSE(boxes_->cmbZoom->isEnabled()); // filled, but follows the missing video encoder
    for (QComboBox* box : {boxes_->cmbSamplerate, boxes_->cmbAudioEncoder, boxes_->cmbChannel,
                           boxes_->cmbAudioBitRate}) {
        EXPECT_TRUE(box->isEnabled()) << box->objectName().toStdString();
    }
}

TEST_F(TParameterBoxesTest, LeavingTheFrameSizeValidatesCorrectsAndStores) {
    struct Case {
        const char* typed;
        const char* title; // empty: no message
        const char* message;
        const char* shown;
        const char* storedSize;
        const char* storedIndex;
    } cases[] = {
        {"321x240", "Input Error!",
         "Frame Size must be a multiple of 2.\nThe correct value:320x240", "320x240", "320x240",
         "0"},
        {"0x0", "Input Error!", "Frame Size must be a multiple of 2.\nThe correct value:2x2", "2x2",
         "2x2", "-1"},
        {"-3x5", "Input Error!", "Frame Size must be a multiple of 2.\nThe correct value:-2x4",
         "-2x4", "-2x4", "-1"},
        {"720x576", "", "", "720x576", "720x576", "-1"},
        // Invalid: the stored choice stays and is shown again.
        {"720", "Quovo", "Frame Size is not a valid value!", "720x576", "720x576", "-1"},
        // "as source" (pasted: the key filter lets no letter follow the first) is neither checked
        // nor stored.
        {"as source", "", "", "as source", "720x576", "-1"},
    };
    Load(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        files_.Dialogs.Messages.clear();
        if (std::string(c.typed) == "as source") {
            boxes_->cmbVideoSize->setFocus();
            boxes_->cmbVideoSize->lineEdit()->setText(c.typed);
        } else {
            TypeInto(boxes_->cmbVideoSize, c.typed, test::TTyping::Empty);
        }
        Leave(boxes_->cmbVideoSize);
        if (*c.title == 0) {
            EXPECT_TRUE(files_.Dialogs.Messages.empty());
        } else {
            ASSERT_EQ(files_.Dialogs.Messages.size(), 1u);
            EXPECT_EQ(files_.Dialogs.Messages[0].Title, c.title);
            EXPECT_EQ(files_.Dialogs.Messages[0].Text, c.message);
        }
        EXPECT_EQ(boxes_->cmbVideoSize->currentText(), c.shown);
        EXPECT_EQ(files_.Stored("paraVideoSize"), c.storedSize);
        EXPECT_EQ(files_.Stored("iVideoSize"), c.storedIndex);
    }
}

TEST_F(TParameterBoxesTest, KeyFiltersDiscardWhatCannotBeANumber) {
    Load(7);
    TypeInto(boxes_->cmbVideoSize, "32a0x2x40", test::TTyping::Empty);
    EXPECT_EQ(boxes_->cmbVideoSize->currentText(), "320x240");
    EXPECT_EQ(files_.Dialogs.Beeps, 2);
    EXPECT_TRUE(files_.Dialogs.Messages.empty());

    for (QComboBox* box :
         {boxes_->cmbVideoBitRate, boxes_->cmbSamplerate, boxes_->cmbAudioBitRate}) {
        SCOPED_TRACE(box->objectName().toStdString());
        files_.Dialogs.Messages.clear();
        TypeInto(box, "9k6");
        EXPECT_EQ(box->currentText(), "96");
        ASSERT_EQ(files_.Dialogs.Messages.size(), 1u);
        EXPECT_EQ(files_.Dialogs.Messages[0].Text, "Please enter numerical.");
    }
    // Tab still leaves a filtered box.
    boxes_->cmbAudioBitRate->setFocus();
    QTest::keyClick(boxes_->cmbAudioBitRate, Qt::Key_Tab);
    EXPECT_FALSE(boxes_->cmbAudioBitRate->hasFocus());
}

TEST_F(TParameterBoxesTest, ChoicesAndTypedNumbersAreWrittenAtOnce) {
    Load(7);
    boxes_->cmbVolume->setCurrentIndex(1);
    EXPECT_EQ(files_.Stored("iVolume"), "1");
    EXPECT_EQ(files_.Stored("paraVolume"), "384");
    boxes_->cmbVolume->setCurrentIndex(2); // 110% has no engine value
    EXPECT_EQ(files_.Stored("iVolume"), "2");
    EXPECT_EQ(files_.Stored("paraVolume"), "384");
    boxes_->cmbChannel->setCurrentIndex(1);
    EXPECT_EQ(files_.Stored("paraChannel"), "1");
    boxes_->cmbZoom->setCurrentIndex(2);
    EXPECT_EQ(files_.Stored("paraZoom"), "pan");
    boxes_->cmbVideoEncoder->setCurrentIndex(1);
    EXPECT_EQ(files_.Stored("paraVideoEncoder"), "libx264");
    EXPECT_EQ(files_.Stored("paraGop"), "300");

    TypeInto(boxes_->cmbVideoBitRate, "1500");
    EXPECT_EQ(files_.Stored("paraVideoBitRate"), "1500");
    EXPECT_EQ(files_.Stored("iVideoBitRate"), "-1");
    EXPECT_TRUE(files_.Dialogs.Messages.empty());

    // Emptying the box is reported at once; the stored rate stays and is shown again.
    boxes_->cmbVideoBitRate->lineEdit()->selectAll();
    QTest::keyClick(boxes_->cmbVideoBitRate, Qt::Key_Backspace);
    ASSERT_FALSE(files_.Dialogs.Messages.empty());
    EXPECT_EQ(files_.Dialogs.Messages[0].Text, "Video BitRate is not a valid value!");
    EXPECT_EQ(boxes_->cmbVideoBitRate->currentText(), "1500");
    EXPECT_EQ(files_.Stored("paraVideoBitRate"), "1500");
}

TEST_F(TParameterBoxesTest, DefaultRestoresAndStoresTheFormatFilesChoices) {
    Load(7);
    boxes_->cmbFrameRate->setCurrentIndex(0);
    boxes_->cmbZoom->setCurrentIndex(2);
    TypeInto(boxes_->cmbSamplerate, "8000");
    ASSERT_EQ(files_.Stored("paraSampleRate"), "8000");

    QTest::mouseClick(boxes_->btnDefault, Qt::LeftButton);
    EXPECT_EQ(boxes_->cmbFrameRate->currentText(), "25");
    EXPECT_EQ(boxes_->cmbZoom->currentText(), "Letter Box");
    EXPECT_EQ(boxes_->cmbSamplerate->currentText(), "48000");
    EXPECT_EQ(files_.Stored("paraFrameRate"), "25");
    EXPECT_EQ(files_.Stored("paraZoom"), "lbox");
    EXPECT_EQ(files_.Stored("paraSampleRate"), "48000");
}

TEST_F(TParameterBoxesTest, EveryBoxIsNamedByItsLabel) {
    Load(7);
    for (QComboBox* box : boxes_->findChildren<QComboBox*>()) {
        SCOPED_TRACE(box->objectName().toStdString());
        QLabel* label = nullptr;
        for (QLabel* l : boxes_->findChildren<QLabel*>()) {
            if (l->buddy() == box) {
                label = l;
            }
        }
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(box->accessibleName(), label->text());
        // As the accessibility bus sees it: named by the label, valued by the shown text.
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), QAccessible::ComboBox);
        EXPECT_EQ(a->text(QAccessible::Name), label->text());
        EXPECT_EQ(a->text(QAccessible::Value), box->currentText());
        ASSERT_GE(a->childCount(), 1);
        EXPECT_EQ(a->child(0)->childCount() > 0, box->count() > 0);
    }
    EXPECT_EQ(boxes_->findChildren<QComboBox*>().size(), 10);
}

} // namespace
} // namespace quovo
