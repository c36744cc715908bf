#include "TfrmSettings.h"

#include "FormatWindowsTestSupport.h"
#include "TFormatPicker.h"
#include "TParameterBoxes.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace quovo {
namespace {

using test::Items;
using test::TypeInto;

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class TfrmSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        files_.Settings.WriteValues("settings",
                                    {{"FormatCode", "7"}, {"FormatName", "Seven (*.mp4)"}});
        files_.Settings.WriteValues("formatInfo7", {{"iVideoSize", "-1"},
                                                    {"paraVideoSize", "400x300"},
                                                    {"iVideoEncoder", "1"},
                                                    {"paraZoom", "center"},
                                                    {"iVolume", "1"}});
    }
    void Open() {
        dialog_.Reload();
        test::ShowActive(dialog_);
    }
    // Chooses a format in the dialog's own list as the keyboard does; returns its name.
    std::string Choose(int code) {
        TFormatPicker& picker = *dialog_.Picker;
        auto find = [&](bool format, int value) {
            const auto& rows = picker.Rows().Rows();
            for (size_t i = 0; i < rows.size(); ++i) {
                if ((format ? rows[i].Info.IsFormat : rows[i].Info.IsCategory) &&
                    rows[i].Info.Code == value) {
                    return static_cast<int>(i);
                }
            }
            return -1;
        };
        if (find(true, code) < 0) {
            picker.RowActivate(find(false, code / 100));
        }
        const int row = find(true, code);
        const std::string name = picker.Rows().Rows().at(row).Text;
        picker.RowActivate(row);
        return name;
    }

    test::TWindowFiles files_;
    TfrmSettings dialog_{files_.Settings, files_.Formats, files_.Dialogs, "Quovo"};
};

TEST_F(TfrmSettingsTest, OpensWithTheStoredChoicesAndChoosingAFormatSelectsByIndexAlone) {
    Open();
    TParameterBoxes& b = *dialog_.Boxes;
    EXPECT_EQ(dialog_.Picker->Field()->text(), "Seven (*.mp4)");
    EXPECT_EQ(b.cmbVideoSize->currentText(), "400x300");
    EXPECT_EQ(b.cmbVideoBitRate->currentText(), "768"); // no stored index: item 0
    EXPECT_EQ(b.cmbVideoEncoder->currentText(), "h264");
    EXPECT_EQ(b.cmbVolume->currentText(), "150%");
    EXPECT_EQ(Items(b.cmbZoom), QStringList({"Full screen", "Letterbox", "Pan and Scan"}));
    EXPECT_EQ(b.cmbZoom->currentIndex(), -1); // "center" has no item
    EXPECT_EQ(b.btnDefault, nullptr);

    Choose(7);
    EXPECT_EQ(b.cmbVideoSize->currentText(), ""); // index -1 alone selects nothing
    const std::string audio = Choose(2400);
    EXPECT_EQ(dialog_.Picker->Field()->text().toStdString(), audio);
    EXPECT_FALSE(b.cmbVideoEncoder->isEnabled());
    EXPECT_FALSE(b.cmbZoom->isEnabled());
    EXPECT_EQ(Items(b.cmbAudioBitRate), QStringList({"192", "128"}));
}

TEST(TfrmSettingsFreshTest, OpeningTheListLeavesTheFieldAlone) {
    // Without a stored FormatName the field names the format of the default code; opening the
    // list does not change it.
    test::TWindowFiles files;
    TfrmSettings dialog{files.Settings, files.Formats, files.Dialogs, "Quovo"};
    dialog.Reload();
    dialog.show();
    const QString field = dialog.Picker->Field()->text();
    EXPECT_EQ(field, "iPod Video H.264 (*.mp4)");
    dialog.Picker->ButtonClick();
    EXPECT_TRUE(dialog.Picker->ListVisible());
    EXPECT_EQ(dialog.Picker->Field()->text(), field);
    dialog.Picker->HideList();
}

TEST_F(TfrmSettingsTest, CancelWritesNothing) {
    const std::string before = FileText(files_.Settings.Path());
    Open();
    Choose(8);
    dialog_.Boxes->cmbFrameRate->setCurrentIndex(1);
    TypeInto(dialog_.Boxes->cmbVideoBitRate, "999");
    QTest::mouseClick(dialog_.btnDefault, Qt::LeftButton); // the format file's defaults, unsaved
    EXPECT_EQ(dialog_.Boxes->cmbFrameRate->currentText(), "15");
    EXPECT_EQ(dialog_.Boxes->cmbVideoBitRate->currentText(), "256");
    QTest::mouseClick(dialog_.btnCancel, Qt::LeftButton);
    EXPECT_EQ(dialog_.result(), QDialog::Rejected);
    EXPECT_EQ(FileText(files_.Settings.Path()), before);

    // The next opening starts again from the files.
    Open();
    EXPECT_EQ(dialog_.Picker->Field()->text(), "Seven (*.mp4)");
    QTest::keyClick(&dialog_, Qt::Key_Escape);
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(FileText(files_.Settings.Path()), before);
}

TEST_F(TfrmSettingsTest, OkWritesEverythingAndKeepsCenter) {
    Open();
    QSignalSpy confirmed(&dialog_, &TfrmSettings::FormatConfirmed);
    QTest::mouseClick(dialog_.btnOk, Qt::LeftButton);
    EXPECT_EQ(dialog_.result(), QDialog::Accepted);
    ASSERT_EQ(confirmed.size(), 1);
    EXPECT_EQ(confirmed[0][1].toInt(), 7);
    struct Case {
        const char* key;
        const char* value;
    } cases[] = {
        {"Description", "Seven (*.mp4)"},
        {"iVideoSize", "-1"},
        {"paraVideoSize", "400x300"},
        {"iVideoBitRate", "0"},
        {"paraVideoBitRate", "768"},
        {"iVideoEncoder", "1"},
        {"paraVideoEncoder", "libx264"},
        {"paraGop", "300"},
        // Keys the settings lack take the format file's default choices.
        {"iFrameRate", "1"},
        {"paraFrameRate", "25"},
        {"paraZoom", "center"},
        {"iSampleRate", "1"},
        {"iAudioBitRate", "1"},
        {"iChannel", "0"},
        {"paraChannel", "2"},
        {"iVolume", "1"},
        {"paraVolume", "384"},
        {"iAudioEncoder", "0"},
        {"paraAudioEncoder", "libfaac"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(files_.Stored(c.key), c.value) << c.key;
    }
    EXPECT_EQ(files_.Settings.ReadString("settings", "FormatCode", ""), "7");
    EXPECT_EQ(files_.Settings.ReadString("settings", "FormatName", ""), "Seven (*.mp4)");
    EXPECT_TRUE(files_.Settings.SectionExists("lstformat"));
}

TEST_F(TfrmSettingsTest, OkMakesTheChosenFormatCurrent) {
    Open();
    const std::string audio = Choose(2400);
    dialog_.Boxes->cmbAudioBitRate->setCurrentIndex(1);
    QSignalSpy confirmed(&dialog_, &TfrmSettings::FormatConfirmed);
    QTest::mouseClick(dialog_.btnOk, Qt::LeftButton);
    ASSERT_EQ(confirmed.size(), 1);
    EXPECT_EQ(confirmed[0][0].toString().toStdString(), audio);
    EXPECT_EQ(files_.Settings.ReadString("settings", "FormatName", ""), audio);
    EXPECT_EQ(files_.Settings.ReadString("settings", "FormatCode", ""), "2400");
    EXPECT_EQ(files_.Stored("paraAudioBitRate", 2400), "128");
    EXPECT_EQ(files_.Stored("paraVolume", 2400), "<missing>"); // no volume list, nothing to store
    EXPECT_EQ(files_.Stored("paraZoom", 7), "center");
}

TEST_F(TfrmSettingsTest, OkRefusesWhatCannotBeStoredAndWritesNothing) {
    // Format 8: the volume entry "loud%" and the H.264 tuning value "often" of the format file.
    struct Case {
        int volume;
        int encoder;
        const char* message;
    } cases[] = {
        {0, 1, "Volume is not a valid value!"},
        {1, 0,
         "The format file's H.264 setting paraGop of \"iPod Touch MPEG-4 Wide Screen "
         "(*.mp4)\" is not a whole "
         "number: often."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const std::string before = FileText(files_.Settings.Path());
        Open();
        Choose(8);
        dialog_.Boxes->cmbVolume->setCurrentIndex(c.volume);
        dialog_.Boxes->cmbVideoEncoder->setCurrentIndex(c.encoder);
        files_.Dialogs.Messages.clear();
        QTest::mouseClick(dialog_.btnOk, Qt::LeftButton);
        ASSERT_EQ(files_.Dialogs.Messages.size(), 1u);
        EXPECT_EQ(files_.Dialogs.Messages[0].Text, c.message);
        EXPECT_EQ(files_.Dialogs.Messages[0].Icon, TMessageIcon::Warning);
        EXPECT_TRUE(dialog_.isVisible());
        EXPECT_EQ(FileText(files_.Settings.Path()), before);
        dialog_.reject();
    }
}

TEST_F(TfrmSettingsTest, LeavingATypedBoxValidatesKeepsTheFocusAndStoresNothing) {
    struct Case {
        QComboBox* TParameterBoxes::*box;
        const char* typed;
        const char* title;
        const char* message;
        const char* shown;
    } cases[] = {
        {&TParameterBoxes::cmbVideoSize, "321x240", "Input Error!",
         "Frame Size must be a multiple of 2.\nThe correct value:320x240", "320x240"},
        {&TParameterBoxes::cmbVideoSize, "321", "Quovo", "Frame Size is not a valid value!",
         "640x480"},
        {&TParameterBoxes::cmbVideoBitRate, "", "Quovo", "Video BitRate is not a valid value!",
         "512"},
        {&TParameterBoxes::cmbSamplerate, "", "Quovo", "Audio SampleRate is not a valid value!",
         "48000"},
        {&TParameterBoxes::cmbAudioBitRate, "", "Quovo", "Audio BitRate is not a valid value!",
         "96"},
    };
    const std::string before = FileText(files_.Settings.Path());
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        QComboBox* box = dialog_.Boxes->*c.box;
        files_.Dialogs.Messages.clear();
        TypeInto(box, c.typed, test::TTyping::Empty);
        dialog_.btnDefault->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(files_.Dialogs.Messages.size(), 1u);
        EXPECT_EQ(files_.Dialogs.Messages[0].Title, c.title);
        EXPECT_EQ(files_.Dialogs.Messages[0].Text, c.message);
        EXPECT_EQ(box->currentText(), c.shown);
        EXPECT_TRUE(box->hasFocus());
    }
    EXPECT_EQ(FileText(files_.Settings.Path()), before);

    // "&Ok" pressed without leaving the box (its shortcut, a click() — the focus stays) checks the
    // box being edited before anything is written.
    TypeInto(dialog_.Boxes->cmbVideoSize, "321x240", test::TTyping::Empty);
    files_.Dialogs.Messages.clear();
    dialog_.btnOk->click();
    ASSERT_EQ(files_.Dialogs.Messages.size(), 1u);
    EXPECT_EQ(files_.Dialogs.Messages[0].Title, "Input Error!");
    EXPECT_TRUE(dialog_.isVisible());
    EXPECT_EQ(FileText(files_.Settings.Path()), before);
    dialog_.btnOk->click();
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(files_.Stored("paraVideoSize"), "320x240");
}

} // namespace
} // namespace quovo
