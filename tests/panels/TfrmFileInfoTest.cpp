// The file information dialog on generated files: what each field shows, and what a file without
// a picture or one that does not open leaves in place.
#include "TfrmFileInfo.h"

#include "../formats/FormatsTestSupport.h"
#include "Fixtures.h"
#include "QtTestApp.h"

#include <QLabel>
#include <QLineEdit>

namespace quovo {
namespace {

TEST(FileInfoTextTest, NamesDurationsFormatsAndRates) {
    const QString forty(40, 'n');
    struct NameCase {
        QString name;
        QString shown;
    };
    const NameCase names[] = {
        {QString(41, 'n') + ".avi", QString(41, 'n') + ".avi"}, // 45 characters: whole
        {QString(42, 'n') + ".avi", forty + "...avi  "},
        {QString(56, 'n') + ".mpeg", forty + "...mpeg  "},
        {QString(50, 'n'), forty + "..  "}, // no extension
    };
    for (const NameCase& c : names) {
        EXPECT_EQ(ShortSourceName(c.name), c.shown) << c.name.size();
    }
    EXPECT_EQ(DurationText(5400123456), "5400.123 Second");
    EXPECT_EQ(DurationText(2040000), "2.040 Second");
    EXPECT_EQ(DurationText(0), "0.000 Second");
    EXPECT_EQ(AudioFormatOf("Stream #0.1: Audio: ac3, 48000 Hz, stereo"), "ac3");
    EXPECT_EQ(AudioFormatOf("Stream #0.1: Audio: aac (LC), 44100 Hz"), "aac (LC)");
    EXPECT_EQ(AudioFormatOf("Stream #0.0: Video: h264, yuv420p"), "");
    EXPECT_EQ(FrameRateText(25, 1), "25");
    EXPECT_EQ(FrameRateText(30000, 1001), "29.97");
    EXPECT_EQ(FrameRateText(24000, 1001), "23.98");
    EXPECT_EQ(FrameRateText(-1, -1), "");
}

TEST(FileInfoDialogTest, ShowsTheProbedFactsAndKeepsThemForFilesWithoutPicture) {
    test::TScratchFolder dir;
    fixtures::MediaSpec full;
    full.width = 320;
    full.height = 240;
    full.frameRate = {30000, 1001};
    full.durationS = 2.0;
    full.audio = {fixtures::AudioTrackSpec{"ac3", 48000, 2}};
    const std::string clip = dir / "a-clip-with-a-rather-long-name-for-the-label.mkv";
    fixtures::MakeMedia(clip, full);
    fixtures::MediaSpec silent = full;
    silent.audio.clear();
    silent.frameRate = {25, 1};
    const std::string mute = dir / "mute.avi";
    fixtures::MakeMedia(mute, silent);
    fixtures::MediaSpec sound = full;
    sound.videoCodec.clear();
    const std::string music = dir / "music.mka";
    fixtures::MakeMedia(music, sound);
    const std::string text = dir / "notes.avi";
    fixtures::MakeTextFile(text);

    TfrmFileInfo dialog;
    EXPECT_EQ(dialog.windowTitle(), "File infomation");
    EXPECT_EQ(dialog.size(), QSize(420, 460));
    struct Step {
        std::string file;
        const char* name;   // nullptr: cleared
        const char* length; // start of the duration; nullptr: cleared
        QStringList video;  // format, resolution, frame rate, frame count
        QStringList audio;  // format, sample rate, channels
    };
    const QStringList clipVideo = {"matroska,webm", "320x240", "29.97", "60"};
    const QStringList clipAudio = {"ac3", "48000", "2"};
    const Step steps[] = {
        {clip, "a-clip-with-a-rather-long-name-for-the-label.mkv", "2.0", clipVideo, clipAudio},
        // The container counts the frames; no sound empties the audio fields.
        {mute, "mute.avi", "2.0", {"avi", "320x240", "25", "50"}, {"", "", ""}},
        {clip, "a-clip-with-a-rather-long-name-for-the-label.mkv", "2.0", clipVideo, clipAudio},
        // No picture, or no media at all: only name and duration are cleared.
        {music, nullptr, nullptr, clipVideo, clipAudio},
        {text, nullptr, nullptr, clipVideo, clipAudio},
        {"", nullptr, nullptr, clipVideo, clipAudio},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.file);
        dialog.ShowFile(step.file);
        if (step.name != nullptr) {
            EXPECT_EQ(dialog.lblSourceName->text(),
                      ShortSourceName(QString::fromStdString(dir / step.name)));
            EXPECT_TRUE(dialog.lblFileLength->text().startsWith(step.length));
            EXPECT_TRUE(dialog.lblFileLength->text().endsWith(" Second"));
        } else {
            EXPECT_EQ(dialog.lblSourceName->text(), "");
            EXPECT_EQ(dialog.lblFileLength->text(), "");
        }
        EXPECT_EQ((QStringList{dialog.edtFormat->text(), dialog.edtResloution->text(),
                               dialog.edtFrameRate->text(), dialog.edtTotalFrame->text()}),
                  step.video);
        EXPECT_EQ((QStringList{dialog.edtAudioForamt->text(), dialog.edtSampleRate->text(),
                               dialog.edtChannel->text()}),
                  step.audio);
    }
    EXPECT_TRUE(dialog.lblSourceName->text().isEmpty());
}

} // namespace
} // namespace quovo
