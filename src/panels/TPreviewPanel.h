// The main window's preview: the video panel the player draws into, play, pause, stop and
// snapshot buttons, the seek bar with the position and duration labels, the volume bar and the
// mute box. It drives the main window's player; the main window hands in what it knows through
// THost (the selected row's name, the "&Add DVD" menu, its log and the snapshot saving).
//
// Keyboard: Tab reaches every control; on the video panel Space plays or pauses and Left/Right
// seek 5 s back or forward.
#pragma once

#include "TFFPlayer.h"
#include "TIniStore.h"
#include "TVideoWidget.h"

#include <QGroupBox>
#include <QImage>

#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QSlider;
class QToolButton;

namespace quovo {

// The duration label: whole seconds as hours ":" two-digit minutes ":" two-digit seconds (hours
// not padded, negative values shown as 0).
QString DurationLabelText(int64_t durationUs);

class TPreviewPanel : public QGroupBox {
    Q_OBJECT
public:
    struct THost {
        // Rows in the source list.
        std::function<int()> rowCount;
        // The name to play for the selected row; with no row selected the host selects the
        // first row and names it with the disc defaults. Empty: nothing to play.
        std::function<std::string()> selectedUrl;
        // The list is empty: open the "&Add DVD" menu.
        std::function<void()> openAddDvdMenu;
        // A line for the main window's hidden log.
        std::function<void(const QString& line)> log;
        // The snapshot: the frame at its decoded size and stretched to the panel's size.
        std::function<void(const QImage& full, const QImage& small)> saveSnapshot;
    };

    TPreviewPanel(TIniStore& settings, THost host, QWidget* parent = nullptr);
    ~TPreviewPanel() override;

    TFFPlayer& Player() { return player_; }
    bool Stopped() const { return stopped_; }
    bool IsPaused() const { return paused_; }
    // Play was asked for with an empty list: the preview starts after the next add.
    bool PlayAfterAdd() const { return playAfterAdd_; }
    void ClearPlayAfterAdd() { playAfterAdd_ = false; }

    void imgbtnPlayClick();
    void imgbtnPauseClick();
    void imgbtnStopClick();
    void imgbtnSnapClick();
    // Stops without waiting (the main window's closing).
    void StopForClose();

    TVideoWidget* pan1;
    QLabel* lblTime;
    QLabel* lblPTS;
    QSlider* trcPreview;
    QToolButton* imgbtnPlay;
    QToolButton* imgbtnPAuse;
    QToolButton* imgbtnStop;
    QToolButton* imgbtnSnap;
    QSlider* trcVolume;
    QCheckBox* ckMute;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FFPlayerFileOpen(int64_t duration, int frameWidth, int frameHeight, int& screenWidth,
                          int& screenHeight);
    void FFPlayerPosition(int64_t pts);
    void FFPlayerState(TPlayState state);
    void trcPreviewRelease();
    void trcVolumeChange(int value);
    void trcVolumeMouseUp();
    void ckMuteClick(bool checked);
    void SeekBy(double seconds);
    void ShowStopped();
    void SetButtons(bool play, bool pause, bool stop, bool snap);

    TIniStore& settings_;
    THost host_;
    TFFPlayer player_;
    bool stopped_ = true;
    bool paused_ = false;
    bool playAfterAdd_ = false;
    int64_t duration_ = 0;
};

} // namespace quovo
