#include "TPreviewPanel.h"
#include "Fixtures.h"
#include "MainThread.h"
#include "QtTestApp.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace quovo {
namespace {

using test::WaitUntil;

// MP4 indexes every key picture, so a seek lands on the one before its target.
std::string PanelClip(double seconds = 3.0) {
    const std::string p =
        fixtures::FixtureDir() + "/panel-clip-" + std::to_string(int(seconds)) + ".mp4";
    if (!std::filesystem::exists(p)) {
        fixtures::MediaSpec spec;
        spec.durationS = seconds;
        fixtures::MakeMedia(p, spec);
    }
    return p;
}

// A settings file of its own per test, with the given [settings] lines.
std::string SettingsFile(const std::string& name, const std::string& lines) {
    const std::string path = fixtures::FixtureDir() + "/" + name + ".ini";
    std::ofstream(path, std::ios::trunc) << "[settings]\n" << lines;
    return path;
}

struct Host {
    int rows = 1;
    int addMenuOpened = 0;
    std::string url = PanelClip();
    QStringList log;
    int snapshots = 0;
    QImage full, small;
    TPreviewPanel::THost Make() {
        return {[this] { return rows; }, [this] { return url; }, [this] { ++addMenuOpened; },
                [this](const QString& line) { log << line; },
                [this](const QImage& f, const QImage& s) {
                    ++snapshots;
                    full = f;
                    small = s;
                }};
    }
};

// A shown panel with its own settings file, playing through the dummy sound driver.
struct TPanelUnderTest {
    explicit TPanelUnderTest(const std::string& name, const std::string& lines = "")
        : settings(SettingsFile(name, lines)), panel(settings, host.Make()) {
        panel.Player().AudioDriver = adDummy;
        panel.show();
    }
    TIniStore settings;
    Host host;
    TPreviewPanel panel;
};

TEST(TPreviewPanelTest, VolumeAndMuteComeFromTheSettingsAndAreWrittenBack) {
    struct Case {
        const char* lines;
        int volume;
        bool mute;
    };
    int n = 0;
    for (const Case& c :
         {Case{"volume=100\nmute=1\n", 100, true}, Case{"volume=200\n", 64, false},
          Case{"volume=-5\nmute=0\n", 64, false}, Case{"", 0, false}, Case{"mute=7\n", 0, false}}) {
        SCOPED_TRACE(c.lines);
        TIniStore settings(SettingsFile("panel-volume-" + std::to_string(n++), c.lines));
        Host host;
        TPreviewPanel panel(settings, host.Make());
        EXPECT_EQ(panel.trcVolume->value(), c.volume);
        EXPECT_EQ(panel.ckMute->isChecked(), c.mute);
        EXPECT_EQ(panel.Player().AudioVolume(), c.volume);
        EXPECT_EQ(panel.Player().Mute(), c.mute);
    }
    TPanelUnderTest t("panel-volume-write");
    TPreviewPanel& panel = t.panel;
    TIniStore& settings = t.settings;
    panel.trcVolume->setFocus();
    QTest::keyClick(panel.trcVolume, Qt::Key_PageUp);
    WaitUntil([] { return false; }, 0.05);
    EXPECT_EQ(panel.Player().AudioVolume(), panel.trcVolume->value());
    EXPECT_EQ(settings.ReadInteger("settings", "volume", -1), panel.trcVolume->value());
    QTest::mouseClick(panel.ckMute, Qt::LeftButton);
    EXPECT_TRUE(panel.Player().Mute());
    EXPECT_EQ(settings.ReadInteger("settings", "mute", -1), 1);
    // A screen reader sets the value and toggles the box without a click or a release.
    panel.trcVolume->setValue(40);
    panel.ckMute->toggle();
    EXPECT_EQ(settings.ReadInteger("settings", "volume", -1), 40);
    EXPECT_EQ(settings.ReadInteger("settings", "mute", -1), 0);
    EXPECT_FALSE(panel.Player().Mute());
}

TEST(TPreviewPanelTest, PlayWithAnEmptyListOpensTheAddDvdMenuAndStaysStopped) {
    TPanelUnderTest t("panel-empty");
    Host& host = t.host;
    host.rows = 0;
    TPreviewPanel& panel = t.panel;
    panel.imgbtnPlayClick();
    EXPECT_EQ(host.addMenuOpened, 1);
    EXPECT_TRUE(panel.PlayAfterAdd());
    EXPECT_TRUE(panel.Stopped());
    EXPECT_FALSE(panel.Player().IsOpen());
    EXPECT_TRUE(panel.imgbtnPlay->isEnabled());
    EXPECT_FALSE(panel.imgbtnSnap->isEnabled());
}

TEST(TPreviewPanelTest, PlayPauseStopAndTheEndDriveTheButtonsAndLabels) {
    TPanelUnderTest t("panel-play");
    Host& host = t.host;
    TPreviewPanel& panel = t.panel;
    panel.resize(260, 300);
    auto buttons = [&] {
        return std::vector<bool>{panel.imgbtnPlay->isEnabled(), panel.imgbtnPAuse->isEnabled(),
                                 panel.imgbtnStop->isEnabled(), panel.imgbtnSnap->isEnabled()};
    };
    QTest::mouseClick(panel.imgbtnPlay, Qt::LeftButton);
    ASSERT_TRUE(panel.Player().IsOpen()) << panel.Player().LastError();
    EXPECT_EQ(buttons(), (std::vector<bool>{false, true, true, true}));
    EXPECT_TRUE(panel.trcPreview->isEnabled());
    EXPECT_EQ(panel.lblPTS->text(), "0:00:03");
    EXPECT_TRUE(host.log.join("\n").contains("duration: 3.0"));
    ASSERT_TRUE(WaitUntil([&] { return panel.lblTime->text() > "00:00:00.300"; }));
    EXPECT_GT(panel.trcPreview->value(), 0); // the bar follows the position
    // Assistive technology hears the times, with what they are as the description.
    for (QLabel* time : {panel.lblTime, panel.lblPTS}) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(time);
        EXPECT_EQ(a->text(QAccessible::Name), time->text());
        EXPECT_EQ(a->text(QAccessible::Description),
                  time == panel.lblTime ? "Position" : "Duration");
    }

    QTest::mouseClick(panel.imgbtnPAuse, Qt::LeftButton);
    EXPECT_TRUE(panel.IsPaused());
    EXPECT_EQ(buttons(), (std::vector<bool>{true, false, true, true}));
    QTest::mouseClick(panel.imgbtnPlay, Qt::LeftButton); // resumes
    EXPECT_FALSE(panel.Player().Paused());

    // The end: the player is left paused at the start and the panel shows stopped.
    ASSERT_TRUE(WaitUntil([&] { return panel.Stopped(); }, 10));
    EXPECT_EQ(buttons(), (std::vector<bool>{true, false, false, false}));
    EXPECT_FALSE(panel.trcPreview->isEnabled());
    EXPECT_EQ(panel.lblTime->text(), "00:00:00");
    EXPECT_EQ(panel.lblPTS->text(), "00:00:00");
    EXPECT_TRUE(panel.Player().IsOpen());
    EXPECT_TRUE(WaitUntil([&] { return panel.Player().Paused(); }));

    // Play again opens anew; Stop closes and resets.
    QTest::mouseClick(panel.imgbtnPlay, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return panel.lblTime->text() > "00:00:00.100"; }));
    QTest::mouseClick(panel.imgbtnStop, Qt::LeftButton);
    EXPECT_FALSE(panel.Player().IsOpen());
    EXPECT_TRUE(panel.Stopped());
    EXPECT_EQ(buttons(), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(panel.lblTime->text(), "00:00:00");
    EXPECT_EQ(panel.lblPTS->text(), "00:00:00");
    EXPECT_EQ(panel.trcPreview->value(), 0);
}

TEST(TPreviewPanelTest, KeysOnTheVideoPanelPlayPauseAndSeek) {
    TPanelUnderTest t("panel-keys");
    t.host.url = PanelClip(10.0);
    TPreviewPanel& panel = t.panel;
    panel.pan1->setFocus();
    QTest::keyClick(panel.pan1, Qt::Key_Space);
    ASSERT_TRUE(panel.Player().IsOpen());
    ASSERT_TRUE(WaitUntil([&] { return panel.Player().Position() > 0; }));
    QTest::keyClick(panel.pan1, Qt::Key_Right);
    EXPECT_TRUE(WaitUntil([&] { return panel.Player().Position() >= 4000000; }));
    QTest::keyClick(panel.pan1, Qt::Key_Left);
    EXPECT_TRUE(WaitUntil([&] { return panel.Player().Position() < 3000000; }));
    QTest::keyClick(panel.pan1, Qt::Key_Space);
    EXPECT_TRUE(panel.IsPaused());
    EXPECT_TRUE(panel.Player().Paused());
    QTest::keyClick(panel.pan1, Qt::Key_Space);
    EXPECT_FALSE(panel.IsPaused());
    panel.imgbtnStopClick();
}

TEST(TPreviewPanelTest, SnapshotHandsOverTheFullFrameAndOneAtThePanelsSize) {
    TPanelUnderTest t("panel-snap");
    Host& host = t.host;
    TPreviewPanel& panel = t.panel;
    panel.imgbtnSnapClick(); // nothing open: nothing saved
    EXPECT_EQ(host.snapshots, 0);
    panel.imgbtnPlayClick();
    ASSERT_TRUE(WaitUntil([&] {
        int64_t pts;
        panel.Player().CurrentFrame(pts);
        return pts >= 0;
    }));
    QTest::mouseClick(panel.imgbtnSnap, Qt::LeftButton);
    ASSERT_EQ(host.snapshots, 1);
    EXPECT_EQ(host.full.size(), QSize(320, 240));
    EXPECT_EQ(host.small.size(), panel.pan1->size());
    panel.imgbtnStopClick();
}

// A wide PAL title (720 x 576 pixels shown at 16:9) is snapped at its shape: the full picture
// with square pixels, the small one as the panel shows it, with bands above and below.
TEST(TPreviewPanelTest, SnapshotsOfAWideTitleKeepItsShape) {
    TPanelUnderTest t("panel-snap-wide");
    const std::string wide = fixtures::FixtureDir() + "/panel-wide.mpg";
    fixtures::MakeMedia(wide, fixtures::PalSpec(true, 1.0));
    t.host.url = wide;
    TPreviewPanel& panel = t.panel;
    panel.imgbtnPlayClick();
    ASSERT_TRUE(WaitUntil([&] {
        int64_t pts;
        panel.Player().CurrentFrame(pts);
        return pts >= 0;
    }));
    panel.imgbtnPauseClick();
    panel.imgbtnSnapClick();
    panel.imgbtnStopClick();
    ASSERT_EQ(t.host.snapshots, 1);
    EXPECT_EQ(t.host.full.size(), QSize(1024, 576));
    const QImage& small = t.host.small;
    ASSERT_EQ(small.size(), panel.pan1->size());
    // The picture's own height in the panel's width, centred.
    const int h = static_cast<int>(std::lround(small.width() * 9.0 / 16.0)) & ~1;
    const int top = (small.height() - h) / 2;
    ASSERT_GT(top, 4);
    const auto level = [&](int y) { return qGray(small.pixel(small.width() / 2, y)); };
    EXPECT_LT(level(top - 3), 8) << "band above";
    EXPECT_LT(level(top + h + 2), 8) << "band below";
    EXPECT_GT(level(top + h / 2), 20) << "the picture (its bars) in between";
}

TEST(TPreviewPanelTest, DurationLabelsRoundToWholeSeconds) {
    struct Case {
        int64_t us;
        const char* text;
    };
    for (const Case& c : {Case{0, "0:00:00"}, Case{-5, "0:00:00"}, Case{2600000, "0:00:03"},
                          Case{3723400000LL, "1:02:03"}, Case{36000000000LL, "10:00:00"}}) {
        EXPECT_EQ(DurationLabelText(c.us), c.text);
    }
}

} // namespace
} // namespace quovo
