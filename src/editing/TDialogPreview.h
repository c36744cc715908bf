// The preview part the trim, crop and effects dialogs share: their own player, the picture area
// it draws into, play and pause, the seek bar and the time labels. It opens the row's source
// (a file, or an "opendvd:" title name), keeps the duration, follows the player's events on the
// main thread and seeks when the left button is released over the seek bar (or the bar is moved
// with the keyboard). The owning dialog adds its own reactions through the signals.
#pragma once

#include "DialogButtons.h"
#include "TFFPlayer.h"
#include "TSeekBar.h"

#include <QBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QWidget>

#include <cstdint>
#include <string>

namespace quovo {

class TVideoWidget;

enum class TPreviewTexts {
    PlayTime, // "Duration:    " / "Time:    " with hours, minutes, seconds and milliseconds
    Seconds,  // the crop dialog's whole seconds
};

class TDialogPreview : public QObject {
    Q_OBJECT
public:
    // `video` is the area the player draws into (null: no picture output; the owner shows the
    // frames from the hook).
    TDialogPreview(TPreviewTexts texts, TVideoWidget* video, QWidget* parent);
    ~TDialogPreview() override;

    TFFPlayer& Player() { return player_; }
    int64_t Duration() const { return duration_; }
    bool Opened() const { return opened_; }

    // Loads the decoding libraries when needed and opens `url`; false when either fails (the
    // dialog then stays without a preview). Play is disabled and pause enabled on success.
    bool Open(const std::string& url);
    // Detaches the handlers and stops the player, waiting for it.
    void Close();

    QToolButton* imgbtnPlay;
    QToolButton* imgbtnPause;
    TSeekBar* trcPreview;
    QLabel* lblPTS;
    QLabel* lblLength;

    void PlayClick();
    void PauseClick();

signals:
    void FileOpened(int64_t duration, int frameWidth, int frameHeight);
    void Ended();
    void PausedByPlayer();

private:
    void FileOpen(int64_t duration, int& screenWidth, int& screenHeight);
    void PositionChanged(int64_t pts);
    void StateChanged(TPlayState state);
    void SeekTo(int position);
    QString LengthText(int64_t duration) const;
    QString PositionText(int64_t pts) const;

    TPreviewTexts texts_;
    TVideoWidget* video_;
    TFFPlayer player_;
    int64_t duration_ = 0;
    bool opened_ = false;
    bool settingUp_ = false;
};

// Whole seconds (rounded) as hours, two-digit minutes and two-digit seconds: "0:01:05".
QString FormatWholeSeconds(int64_t timeUs);
// A source name for a label or caption: names of `longFrom` characters or more become their
// first `keep` characters, "..", their extension and two blanks.
QString ShortSourceName(const QString& name, int keep = 44, int longFrom = 51);
// Hours, minutes, seconds and milliseconds: "00:01:05.250".
QString FormatPlayTime(int64_t timeUs);

} // namespace quovo
