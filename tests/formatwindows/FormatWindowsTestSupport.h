// A small format file and the settings around it for the window tests.
#pragma once

#include "../formats/FormatsTestSupport.h"
#include "QtTestApp.h"
#include "TIniStore.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

namespace quovo::test {

inline const char* const kWindowFormatFile = R"([formatInfo7]
Format=ipod
FileExt=mp4
VideoSize=320x240,640x480,as source
VideoBitRate=768,512,as source
FrameRate=29.97,25,as source
VideoEncoder=mpeg-4,h264
AudioBitRate=128,96,as source
SampleRate=44100,48000
AudioEncoder=aac,mp3,wav
Channel=stereo 2 channels,mono 1 channel,as source
Volume=100%,150%,110%
iVideoSize=1
iFrameRate=1
iAudioBitRate=1
iSampleRate=1
paraGop=300

[formatInfo8]
Format=mp4
FileExt=mp4
VideoSize=176x144,352x288
VideoBitRate=256,384
FrameRate=15,25
VideoEncoder=h264,mpeg-4
AudioBitRate=64,96
SampleRate=22050,44100
AudioEncoder=mp3
Channel=mono 1 channel
Volume=loud%,100%
paraGop=often

[formatInfo2400]
Format=mp3
FileExt=mp3
VideoSize=null
VideoBitRate=null
FrameRate=null
VideoEncoder=null
AudioBitRate=192,128
SampleRate=44100
AudioEncoder=mp3
Channel=stereo 2 channels
Volume=null
)";

// A scratch folder with the format file, the settings file and the recording dialogs.
struct TWindowFiles {
    TWindowFiles() { Dir.WriteFile("quovoformat.ini", kWindowFormatFile); }
    std::string Stored(const char* key, int code = 7) const {
        return Settings.ReadString("formatInfo" + std::to_string(code), key, "<missing>");
    }

    TScratchFolder Dir;
    TIniStore Settings{Dir / "quovo.ini"};
    TIniStore Formats{Dir / "quovoformat.ini"};
    TRecordingDialogs Dialogs;
};

inline QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) {
        items << box->itemText(i);
    }
    return items;
}

// Shows the window and makes it active so focus moves as the user's would.
inline void ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Types into a box the way the keyboard does: the first key replaces the selected text, or, with
// Empty, the text is deleted first (the frame-size box accepts any first key only when empty).
enum class TTyping { Replace, Empty };
inline void TypeInto(QComboBox* box, const QString& text, TTyping typing = TTyping::Replace) {
    box->setFocus(Qt::TabFocusReason);
    box->lineEdit()->selectAll();
    if (typing == TTyping::Empty) {
        QTest::keyClick(box, Qt::Key_Backspace);
    }
    QTest::keyClicks(box, text);
}

} // namespace quovo::test
