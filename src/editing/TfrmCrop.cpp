#include "TfrmCrop.h"

#include "DialogButtons.h"
#include "FitRect.h"
#include "TDisplayPlacement.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quovo {

namespace {

constexpr int kPreviewWidth = 370;
constexpr int kPreviewHeight = 253;
const QColor kPreviewBackground(166, 202, 240);

} // namespace

TCropPreview::TCropPreview(QWidget* parent) : QWidget(parent) {
    setFixedSize(kPreviewWidth, kPreviewHeight);
}

void TCropPreview::SetFrame(QImage frame) {
    frame_ = std::move(frame);
    update();
}

void TCropPreview::SetPixelShape(AVRational sampleAspect) {
    sampleAspect_ = sampleAspect;
    update();
}

QRect TCropPreview::PictureRect(int frameWidth, int frameHeight) const {
    return FitRect(DisplayWidth(frameWidth, sampleAspect_), frameHeight, width(), height());
}

void TCropPreview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kPreviewBackground);
    if (!frame_.isNull()) {
        p.drawImage(PictureRect(frame_.width(), frame_.height()), frame_);
    }
}

TfrmCrop::TfrmCrop(TlvFilesRecord& record, std::string previewUrl, std::string sourceName,
                   QWidget* parent)
    : TOnePageDialog("frmCrop", "Crop", "Source File:", parent), record_(record),
      previewUrl_(std::move(previewUrl)), sourceName_(std::move(sourceName)) {
    QWidget* page = Page();
    auto* group = new QGroupBox("Crop Size", page);
    auto* grid = new QGridLayout(group);
    int row = 0;
    const auto spin = [&](const char* label, const char* name) {
        auto* box = new QSpinBox(group);
        box->setObjectName(name);
        box->setRange(0, 9999);
        box->setAccessibleName(label);
        box->findChild<QLineEdit*>()->setReadOnly(true); // arrows only
        auto* caption = new QLabel(label, group);
        caption->setBuddy(box);
        grid->addWidget(caption, row, 0);
        grid->addWidget(box, row, 1);
        ++row;
        return box;
    };
    spedUp = spin("Up", "spedUp");
    spedLeft = spin("Left", "spedLeft");
    spedDown = spin("Down", "spedDown");
    spedRight = spin("Right", "spedRight");
    btnReset = MakeButton("Reset", "btnReset", group);
    grid->addWidget(btnReset, row, 1);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(group);
    pageLayout->addStretch();

    QVBoxLayout* right = Right();
    imgPreview = new TCropPreview(this);
    imgPreview->setObjectName("imgPreview");
    imgPreview->setAccessibleName("Preview");
    right->addWidget(imgPreview);
    RectTracker = new TRectTracker(imgPreview);
    RectTracker->setObjectName("RectTracker");
    RectTracker->setAccessibleName("Crop area");
    RectTracker->hide();
    preview_ = std::make_unique<TDialogPreview>(TPreviewTexts::Seconds, nullptr, this);
    auto* times = new QHBoxLayout;
    times->addWidget(new QLabel("Time:", this));
    times->addWidget(preview_->lblPTS);
    times->addStretch();
    times->addWidget(new QLabel("Length:", this));
    times->addWidget(preview_->lblLength);
    right->addLayout(times);
    right->addWidget(preview_->trcPreview);
    auto* controls = new QHBoxLayout;
    controls->addWidget(preview_->imgbtnPlay);
    controls->addWidget(preview_->imgbtnPause);
    controls->addStretch();
    right->addLayout(controls);
    right->addStretch();

    LayOut();

    // The dialog decides play and pause itself (reopening after the end).
    disconnect(preview_->imgbtnPlay, nullptr, preview_.get(), nullptr);
    disconnect(preview_->imgbtnPause, nullptr, preview_.get(), nullptr);
    connect(preview_->imgbtnPlay, &QToolButton::clicked, this, &TfrmCrop::imgbtnPlayClick);
    connect(preview_->imgbtnPause, &QToolButton::clicked, this, &TfrmCrop::imgbtnPauseClick);
    connect(preview_.get(), &TDialogPreview::PausedByPlayer, this, [this] {
        paused_ = true;
        stopped_ = false;
    });
    connect(preview_.get(), &TDialogPreview::Ended, this, [this] { stopped_ = true; });
    connect(preview_.get(), &TDialogPreview::FileOpened, this, [this](int64_t, int w, int h) {
        videoWidth_ = w;
        videoHeight_ = h;
        // A disc title's pixels are not square: the picture is shown, and cut, at its shape.
        const TVideoStreamInfo video = preview_->Player().AVProbe().GetVideoStreamInfo(-1);
        imgPreview->SetPixelShape({video.SampleAspectNum, video.SampleAspectDen});
    });
    preview_->Player().SetOnHook([this](TCustomPlayer*, TPicture* picture, int64_t) {
        if (picture == nullptr || stopped_ || paused_) {
            return;
        }
        const QImage view(picture->Bits(), picture->Width(), picture->Height(), picture->Stride(),
                          QImage::Format_BGR888);
        std::lock_guard guard(frameLock_);
        frameCopy_ = view.copy();
    });
    preview_->Player().SetHook(true);

    connect(RectTracker, &TCustomRectTracker::MouseDown, this,
            [this] { model_.TrackerPressed(RectTracker->geometry()); });
    connect(RectTracker, &TCustomRectTracker::MouseMove, this, &TfrmCrop::RectTrackerMouseMove);
    connect(spedUp, &QSpinBox::valueChanged, this, [this] { SpinChanged(TCropSide::Up, spedUp); });
    connect(spedDown, &QSpinBox::valueChanged, this,
            [this] { SpinChanged(TCropSide::Down, spedDown); });
    connect(spedLeft, &QSpinBox::valueChanged, this,
            [this] { SpinChanged(TCropSide::Left, spedLeft); });
    connect(spedRight, &QSpinBox::valueChanged, this,
            [this] { SpinChanged(TCropSide::Right, spedRight); });
    connect(btnReset, &QPushButton::clicked, this, &TfrmCrop::btnResetClick);
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &TfrmCrop::TimerTimer);
}

TfrmCrop::~TfrmCrop() {
    FormCloseQuery();
}

void TfrmCrop::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TfrmCrop::FormShow() {
    lblSourceName->clear();
    stopped_ = true;
    paused_ = true;
    const bool open = preview_->Open(previewUrl_);
    if (!open) {
        for (QSpinBox* box : {spedUp, spedLeft, spedDown, spedRight}) {
            box->setEnabled(false);
        }
        return;
    }
    stopped_ = false;
    paused_ = false;
    if (videoWidth_ <= 0 || videoHeight_ <= 0) {
        RectTracker->hide();
        RectTracker->setEnabled(false);
        for (QSpinBox* box : {spedUp, spedLeft, spedDown, spedRight}) {
            box->setEnabled(false);
        }
    } else {
        model_.SetArea(TCropModel::PictureArea(imgPreview->PictureRect(videoWidth_, videoHeight_),
                                               QPoint(0, 0)));
        RectTracker->setGeometry(
            model_.PlaceTracker({record_.ViewCropTop, record_.ViewCropBottom, record_.ViewCropLeft,
                                 record_.ViewCropRight}));
        ShowMargins();
        RectTracker->setEnabled(true);
        RectTracker->show();
    }
    lblSourceName->setText(ShortSourceName(QString::fromStdString(sourceName_)));
    const int64_t d = preview_->Duration() > 0 ? preview_->Duration() : 0;
    preview_->lblLength->setText(QString::asprintf("%d.%.3d", static_cast<int>(d / 1000000),
                                                   static_cast<int>(d / 1000 % 1000)) +
                                 " Second");
    timer_.start();
}

void TfrmCrop::ShowMargins() {
    synchronising_ = true;
    const TCropMargins& m = model_.Margins();
    spedUp->setValue(m.Up);
    spedDown->setValue(m.Down);
    spedLeft->setValue(m.Left);
    spedRight->setValue(m.Right);
    synchronising_ = false;
}

void TfrmCrop::RectTrackerMouseMove(QPoint point) {
    if (!RectTracker->isEnabled()) {
        return;
    }
    RectTracker->setGeometry(model_.KeepOnPicture(RectTracker->geometry(), point));
    ShowMargins();
}

void TfrmCrop::SpinChanged(TCropSide side, QSpinBox* box) {
    if (synchronising_) {
        return;
    }
    const std::optional<QRect> bounds =
        model_.SpinChanged(side, box->value(), RectTracker->geometry());
    if (bounds) {
        RectTracker->setGeometry(*bounds);
    }
    ShowMargins(); // a refused step shows the margin it keeps
}

void TfrmCrop::btnResetClick() {
    if (RectTracker->isEnabled()) {
        RectTracker->setGeometry(model_.PlaceTracker({}));
    }
    ShowMargins();
}

void TfrmCrop::btnOkClick() {
    const TCropMargins& m = model_.Margins();
    record_.ViewCropTop = m.Up;
    record_.ViewCropLeft = m.Left;
    record_.ViewCropBottom = m.Down;
    record_.ViewCropRight = m.Right;
    const TCropMargins source = model_.SourceCrop(videoWidth_, videoHeight_);
    record_.CropTop = source.Up;
    record_.CropLeft = source.Left;
    record_.CropBottom = source.Down;
    record_.CropRight = source.Right;
    record_.ZoomMode = ZoomModeAfterCrop(record_.ZoomMode);
    FormCloseQuery();
    accept();
}

void TfrmCrop::btnCancelClick() {
    FormCloseQuery();
    reject();
}

void TfrmCrop::imgbtnPlayClick() {
    if (paused_) {
        preview_->Player().Resume();
        paused_ = false;
        stopped_ = false;
        preview_->imgbtnPlay->setEnabled(false);
        preview_->imgbtnPause->setEnabled(true);
    } else if (stopped_) {
        // A title row reopens the name it was shown with.
        const bool open = preview_->Open(previewUrl_);
        stopped_ = !open;
        paused_ = false;
        preview_->imgbtnPlay->setEnabled(false);
        preview_->imgbtnPause->setEnabled(open);
    }
}

void TfrmCrop::imgbtnPauseClick() {
    paused_ = true;
    stopped_ = false;
    preview_->Player().Pause();
    preview_->imgbtnPlay->setEnabled(true);
    preview_->imgbtnPause->setEnabled(false);
}

void TfrmCrop::TimerTimer() {
    QImage frame;
    {
        std::lock_guard guard(frameLock_);
        frame = frameCopy_;
    }
    if (!frame.isNull() && frame.width() > 0 && frame.height() > 0) {
        imgPreview->SetFrame(std::move(frame));
    }
}

void TfrmCrop::FormCloseQuery() {
    if (closed_) {
        return;
    }
    closed_ = true;
    timer_.stop();
    stopped_ = true;
    preview_->Close();
}

} // namespace quovo
