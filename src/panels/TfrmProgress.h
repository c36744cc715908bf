// The progress window of a batch run: the task's converted time, length, output size, its place
// in the batch, the source's name, a bar and the latest preview picture of the output, with
// Pause, Resume, Cancel, a snapshot button and the two end-of-run choices.
//
// Showing it starts the queued tasks; the batch run writes the values and closes it when the run
// has ended; Cancel (or closing it any other way) stops the tasks, waiting for them. It is
// application-modal but shown without a nested event loop. User-interface thread only.
#pragma once

#include "TMediaConverter.h"

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
        // Tasks started at once when the window shows.
        std::function<int()> conversionsAtOnce;
        // Pause or resume went through this window (the main window's buttons follow).
        std::function<void(bool paused)> pausedChanged;
        // The window is being closed (Cancel, the title bar, Escape, or the end of the run);
        // the tasks are stopped right after.
        std::function<void()> closing;
        // The snapshot: the preview at its own size and what the preview area shows.
        std::function<void(const QImage& full, const QImage& small)> saveSnapshot;
    };

    TfrmProgress(TCustomMediaConverter& converter, THost host, QWidget* parent = nullptr);

    // Shows the window (modal to the application) and starts the tasks.
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

    TCustomMediaConverter& converter_;
    THost host_;
    QImage canvas_;
};

} // namespace quovo
