#include "TDialogPreview.h"

#include "TCustomFFmpeg.h"
#include "TVideoWidget.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <cmath>

namespace quovo {

namespace {

QToolButton* MediaButton(QStyle::StandardPixmap icon, const char* hint, const char* name,
                         QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

} // namespace

QString FormatPlayTime(int64_t timeUs) {
    return QString::fromStdString(FormatTimeText(timeUs < 0 ? 0 : timeUs));
}

QString ShortSourceName(const QString& name, int keep, int longFrom) {
    if (name.size() < longFrom) {
        return name;
    }
    return name.left(keep) + ".." + QFileInfo(name).suffix() + "  ";
}

QString FormatWholeSeconds(int64_t timeUs) {
    const int64_t seconds = timeUs > 0 ? std::llround(static_cast<double>(timeUs) / 1e6) : 0;
    return QString::asprintf("%d:%.2d:%.2d", static_cast<int>(seconds / 3600),
                             static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

TDialogPreview::TDialogPreview(TPreviewTexts texts, TVideoWidget* video, QWidget* parent)
    : QObject(parent), texts_(texts), video_(video) {
    imgbtnPlay = MediaButton(QStyle::SP_MediaPlay, "play", "imgbtnPlay", parent);
    imgbtnPause = MediaButton(QStyle::SP_MediaPause, "pause", "imgbtnpause", parent);
    trcPreview = new TSeekBar(parent);
    trcPreview->setObjectName("trcPreview");
    trcPreview->setAccessibleName("Seek");
    lblPTS = new QLabel(texts == TPreviewTexts::PlayTime ? "Play Time" : "", parent);
    lblPTS->setObjectName("lblPTS");
    lblLength = new QLabel(texts == TPreviewTexts::PlayTime ? "Length" : "", parent);
    lblLength->setObjectName("lblLength");

    connect(imgbtnPlay, &QToolButton::clicked, this, &TDialogPreview::PlayClick);
    connect(imgbtnPause, &QToolButton::clicked, this, &TDialogPreview::PauseClick);
    connect(trcPreview, &TSeekBar::ReleasedOver, this, &TDialogPreview::SeekTo);
    connect(trcPreview, &QSlider::actionTriggered, this, [this](int action) {
        // Keys and wheel move the bar without a release: seek at once. The mouse's steps wait
        // for its release.
        if (action != QAbstractSlider::SliderMove && !trcPreview->isSliderDown() &&
            !trcPreview->LeftButtonHeld()) {
            QMetaObject::invokeMethod(
                this, [this] { SeekTo(trcPreview->value()); }, Qt::QueuedConnection);
        }
    });

    player_.SetOnFileOpen([this](TCustomPlayer*, int64_t d, int w, int h, int& sw, int& sh) {
        FileOpen(d, sw, sh);
        emit FileOpened(d, w, h);
    });
    player_.SetOnPosition([this](TCustomPlayer*, int64_t pts) { PositionChanged(pts); });
    player_.SetOnState([this](TCustomPlayer*, TPlayState s) { StateChanged(s); });
}

TDialogPreview::~TDialogPreview() {
    Close();
}

bool TDialogPreview::Open(const std::string& url) {
    if (!player_.LibrariesLoaded() &&
        !player_.LoadLibraries(QCoreApplication::applicationDirPath().toStdString() + "/LibAV")) {
        return false;
    }
    if (url.empty() || !player_.Open(url, video_)) {
        imgbtnPlay->setEnabled(false);
        imgbtnPause->setEnabled(false);
        return false;
    }
    opened_ = true;
    imgbtnPlay->setEnabled(false);
    imgbtnPause->setEnabled(true);
    return true;
}

void TDialogPreview::Close() {
    player_.SetOnPosition(nullptr);
    player_.SetOnState(nullptr);
    player_.SetOnHook(nullptr);
    player_.SetHook(false);
    player_.Stop(true);
}

void TDialogPreview::PlayClick() {
    player_.Resume();
    imgbtnPlay->setEnabled(false);
    imgbtnPause->setEnabled(true);
    trcPreview->setEnabled(true);
}

void TDialogPreview::PauseClick() {
    player_.Pause();
    imgbtnPause->setEnabled(false);
    imgbtnPlay->setEnabled(true);
}

void TDialogPreview::FileOpen(int64_t duration, int& screenWidth, int& screenHeight) {
    if (video_ != nullptr) {
        screenWidth = video_->width();
        screenHeight = video_->height();
    }
    duration_ = duration;
    lblLength->setText(LengthText(duration));
    lblPTS->setText("0.0");
    settingUp_ = true;
    trcPreview->setRange(0, std::max(1, trcPreview->width()));
    trcPreview->ClearSelection();
    trcPreview->setEnabled(duration > 0);
    trcPreview->setValue(0);
    settingUp_ = false;
}

void TDialogPreview::PositionChanged(int64_t pts) {
    lblPTS->setText(PositionText(pts));
}

void TDialogPreview::StateChanged(TPlayState state) {
    if (state == psPause && texts_ == TPreviewTexts::Seconds) {
        imgbtnPlay->setEnabled(true);
        imgbtnPause->setEnabled(false);
        emit PausedByPlayer();
        return;
    }
    if (state != psEnd) {
        return;
    }
    settingUp_ = true;
    trcPreview->setValue(0);
    settingUp_ = false;
    player_.Seek(sfAny, false, 0);
    player_.Pause();
    imgbtnPlay->setEnabled(true);
    imgbtnPause->setEnabled(false);
    if (texts_ == TPreviewTexts::PlayTime) {
        trcPreview->ClearSelection();
        trcPreview->setEnabled(false);
    }
    emit Ended();
}

void TDialogPreview::SeekTo(int position) {
    if (settingUp_ || trcPreview->maximum() <= 0) {
        return;
    }
    const auto target = static_cast<int64_t>(static_cast<double>(position) / trcPreview->maximum() *
                                             static_cast<double>(duration_));
    // The crop dialog does not seek to the very start from the bar.
    if (texts_ == TPreviewTexts::Seconds && duration_ * position / trcPreview->maximum() <= 0) {
        return;
    }
    player_.Seek(0, false, target);
}

QString TDialogPreview::LengthText(int64_t duration) const {
    return texts_ == TPreviewTexts::PlayTime ? "Duration:    " + FormatPlayTime(duration)
                                             : FormatWholeSeconds(duration);
}

QString TDialogPreview::PositionText(int64_t pts) const {
    return texts_ == TPreviewTexts::PlayTime ? "Time:    " + FormatPlayTime(pts)
                                             : FormatWholeSeconds(pts);
}

} // namespace quovo
