// The crop dialog: margins cut off a source's picture, chosen with a rectangle tracker over the
// playing picture or with four spin boxes. The frames come from the dialog's own player through
// its hook and are drawn fitted into the preview every 100 ms; OK stores the margins in preview
// pixels (to reopen with) and in even source pixels. A new dialog for every opening.
#pragma once

#include "TCropModel.h"
#include "TDialogPreview.h"
#include "TDisplayPlacement.h"
#include "TOnePageDialog.h"
#include "TRectTracker.h"
#include "TlvFilesRecord.h"
#include <QImage>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class QLabel;
class QPushButton;
class QSpinBox;

namespace quovo {

// The picture area of the crop dialog: the last frame stretched into the largest rectangle of
// its shape on screen (its pixels' shape counted), on a light blue background.
class TCropPreview : public QWidget {
    Q_OBJECT
public:
    explicit TCropPreview(QWidget* parent = nullptr);
    void SetFrame(QImage frame);
    const QImage& Frame() const { return frame_; }
    void SetPixelShape(AVRational sampleAspect);
    // Where a frame of the source's size is drawn.
    QRect PictureRect(int frameWidth, int frameHeight) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage frame_;
    AVRational sampleAspect_{1, 1};
};

class TfrmCrop : public TOnePageDialog {
    Q_OBJECT
public:
    TfrmCrop(TlvFilesRecord& record, std::string previewUrl, std::string sourceName,
             QWidget* parent = nullptr);
    ~TfrmCrop() override;

    TDialogPreview& Preview() { return *preview_; }
    const TCropModel& Model() const { return model_; }

    void btnResetClick() override;
    void btnOkClick() override;
    void btnCancelClick() override;
    void imgbtnPlayClick();
    void imgbtnPauseClick();
    // Draws the last frame into the preview (the 100 ms timer).
    void TimerTimer();

    QSpinBox* spedUp = nullptr;
    QSpinBox* spedLeft = nullptr;
    QSpinBox* spedDown = nullptr;
    QSpinBox* spedRight = nullptr;
    QPushButton* btnReset = nullptr;
    TCropPreview* imgPreview = nullptr;
    TRectTracker* RectTracker = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void FormCloseQuery() override;

private:
    void FormShow();
    void RectTrackerMouseMove(QPoint point);
    void SpinChanged(TCropSide side, QSpinBox* box);
    void ShowMargins();

    TlvFilesRecord& record_;
    std::string previewUrl_;
    std::string sourceName_;
    std::unique_ptr<TDialogPreview> preview_;
    TCropModel model_;
    QTimer timer_;
    bool shown_ = false;
    bool closed_ = false;
    bool synchronising_ = false;
    int videoWidth_ = 0, videoHeight_ = 0;
    std::atomic<bool> stopped_{true}, paused_{true};

    std::mutex frameLock_;
    QImage frameCopy_; // --- guarded by frameLock_ (the player's picture thread writes it)
};

} // namespace quovo
