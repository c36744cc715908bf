// The progress window of a batch run: the task's converted time, length, output size, its place
// in the batch, the source's name, a bar and the latest preview picture of the output, with
// Pause, Resume, Cancel, a snapshot button and the two end-of-run choices.
//
// It is a view of the batch run: the run shows it, writes its values and closes it when the run
// has ended; the window's Pause, Resume and Cancel (or closing it any other way) are handed to
// the run, which owns the tasks. It is application-modal but shown without a nested event loop.
// User-interface thread only.
#pragma once

#include <QDialog>
#include <QImage>

#include <functional>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

namespace quovo {

class TfrmProgress : public QDialog {
    Q_OBJECT
public:
    // The preview area's size and its background.
    static constexpr int kPreviewWidth = 388;
    static constexpr int kPreviewHeight = 199;
    static QColor Background() { return QColor(166, 202, 240); }

    struct THost {
        // The latest preview picture of the run (empty until one arrives).
        std::function<const QImage&()> lastPreview;
        // The user paused or resumed in this window.
        std::function<void(bool paused)> pausedChanged;
        // The window is being closed (Cancel, the title bar, Escape, or the end of the run).
        std::function<void()> closing;
        // The snapshot: the preview at its own size and what the preview area shows.
        std::function<void(const QImage& full, const QImage& small)> saveSnapshot;
    };

    explicit TfrmProgress(THost host, QWidget* parent = nullptr);

    // Shows the window (modal to the application), its values cleared.
    void ShowForRun();
    // The pause buttons' state when the main window paused or resumed.
    void ShowPaused(bool paused);
    // What the preview area shows now.
    const QImage& PreviewCanvas() const { return canvas_; }

    void btnPauseClick();
    void btnResumeClick();
    void btnCancelClick();
    void Timer1Timer();
    void imgbtnSnapClick();

    QLabel* imgPreview;
    QLabel* lblTime;
    QLabel* lblLength;
    QLabel* lblSize;
    QLabel* lblProgress;
    QLabel* lblOutput;
    QProgressBar* progbarFile;
    QCheckBox* ckShutDown;
    QCheckBox* ckOpen;
    QPushButton* btnPause;
    QPushButton* btnResume;
    QPushButton* btnCancel;
    QToolButton* imgbtnSnap;
    QTimer* Timer1;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    // Stops the tasks and the timer; closing is always allowed.
    void FormCloseQuery();
    void FillPreview();

    THost host_;
    QImage canvas_;
};

} // namespace quovo
