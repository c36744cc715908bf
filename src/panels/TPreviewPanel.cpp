#include "TPreviewPanel.h"

#include "TAppSettings.h"
#include "TCustomFFmpeg.h"
#include "TDisplayPlacement.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <tuple>

namespace quovo {
namespace {

constexpr double kKeySeekSeconds = 5.0;
const char* const kZeroTime = "00:00:00";

} // namespace

QString DurationLabelText(int64_t durationUs) {
    const int64_t total = durationUs > 0 ? std::llround(durationUs / 1000000.0) : 0;
    return QString("%1:%2:%3")
        .arg(total / 3600)
        .arg(total / 60 % 60, 2, 10, QChar('0'))
        .arg(total % 60, 2, 10, QChar('0'));
}

TPreviewPanel::TPreviewPanel(TIniStore& settings, THost host, QWidget* parent)
    : QGroupBox("Preview", parent), settings_(settings), host_(std::move(host)) {
    setObjectName("gbPreview");
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(3);
    pan1 = new TVideoWidget(this);
    pan1->setObjectName("pan1");
    pan1->setAccessibleName("Preview");
    pan1->setAccessibleDescription("Space plays or pauses; Left and Right seek 5 seconds");
    pan1->setFocusPolicy(Qt::StrongFocus);
    pan1->setMinimumSize(160, 113);
    pan1->setMaximumSize(243, 171);
    pan1->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    pan1->installEventFilter(this);
    layout->addWidget(pan1, 0, Qt::AlignHCenter);

    auto* times = new QHBoxLayout;
    lblTime = new QLabel(kZeroTime, this);
    lblTime->setObjectName("lblTime");
    // A screen reader reads the times themselves: a fixed name would hide them.
    lblTime->setAccessibleDescription("Position");
    lblPTS = new QLabel(kZeroTime, this);
    lblPTS->setObjectName("lblPTS");
    lblPTS->setAccessibleDescription("Duration");
    trcPreview = new QSlider(Qt::Horizontal, this);
    trcPreview->setObjectName("trcPreview");
    trcPreview->setAccessibleName("Seek");
    trcPreview->setTickPosition(QSlider::NoTicks);
    trcPreview->setEnabled(false);
    times->addWidget(lblTime);
    times->addWidget(trcPreview, 1);
    times->addWidget(lblPTS);
    layout->addLayout(times);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* name, const char* hint, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setIcon(style()->standardIcon(icon));
        b->setToolTip(hint);
        b->setAccessibleName(hint);
        b->setFocusPolicy(Qt::StrongFocus);
        buttons->addWidget(b);
        return b;
    };
    imgbtnPlay = button("imgbtnPlay", "play", QStyle::SP_MediaPlay);
    imgbtnPAuse = button("imgbtnPAuse", "pause", QStyle::SP_MediaPause);
    imgbtnStop = button("imgbtnStop", "stop", QStyle::SP_MediaStop);
    imgbtnSnap = button("imgbtnSnap", "capture image", QStyle::SP_DialogSaveButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    SetButtons(true, false, false, false);

    auto* volumeRow = new QHBoxLayout;
    auto* volumeLabel = new QLabel("Volume:", this);
    trcVolume = new QSlider(Qt::Horizontal, this);
    trcVolume->setObjectName("trcVolume");
    trcVolume->setRange(0, 128);
    trcVolume->setAccessibleName("Volume:");
    volumeLabel->setBuddy(trcVolume);
    ckMute = new QCheckBox("Mute", this);
    ckMute->setObjectName("ckMute");
    ckMute->setAccessibleName("Mute");
    volumeRow->addWidget(volumeLabel);
    volumeRow->addWidget(trcVolume, 1);
    volumeRow->addWidget(ckMute);
    layout->addLayout(volumeRow);
    layout->addStretch(1);

    const TAppSettings stored(settings_);
    trcVolume->setValue(stored.PreviewVolume());
    if (std::optional<bool> mute = stored.Mute()) {
        ckMute->setChecked(*mute);
    }
    player_.SetAudioVolume(trcVolume->value());
    player_.SetMute(ckMute->isChecked());

    connect(imgbtnPlay, &QToolButton::clicked, this, &TPreviewPanel::imgbtnPlayClick);
    connect(imgbtnPAuse, &QToolButton::clicked, this, &TPreviewPanel::imgbtnPauseClick);
    connect(imgbtnStop, &QToolButton::clicked, this, &TPreviewPanel::imgbtnStopClick);
    connect(imgbtnSnap, &QToolButton::clicked, this, &TPreviewPanel::imgbtnSnapClick);
    connect(trcPreview, &QSlider::sliderReleased, this, &TPreviewPanel::trcPreviewRelease);
    connect(trcPreview, &QSlider::actionTriggered, this, [this](int action) {
        // Keys and clicks beside the thumb move the bar at once: seek there too.
        if (action != QAbstractSlider::SliderMove && !trcPreview->isSliderDown()) {
            QMetaObject::invokeMethod(this, &TPreviewPanel::trcPreviewRelease,
                                      Qt::QueuedConnection);
        }
    });
    connect(trcVolume, &QSlider::valueChanged, this, &TPreviewPanel::trcVolumeChange);
    connect(trcVolume, &QSlider::sliderReleased, this, &TPreviewPanel::trcVolumeMouseUp);
    // Keys, the wheel and assistive tools move the bar without a release: a move while the
    // thumb is not held is the end of the change. A drag writes once, at its release.
    connect(trcVolume, &QSlider::valueChanged, this, [this] {
        if (!trcVolume->isSliderDown()) {
            trcVolumeMouseUp();
        }
    });
    // Connected after the stored state is shown, so only a change by the user (a click, a key,
    // an assistive tool's toggle) sets the player and writes the setting.
    connect(ckMute, &QCheckBox::toggled, this, &TPreviewPanel::ckMuteClick);

    player_.SetOnFileOpen([this](TCustomPlayer*, int64_t duration, int w, int h, int& sw, int& sh) {
        FFPlayerFileOpen(duration, w, h, sw, sh);
    });
    player_.SetOnPosition([this](TCustomPlayer*, int64_t pts) { FFPlayerPosition(pts); });
    player_.SetOnState([this](TCustomPlayer*, TPlayState s) { FFPlayerState(s); });
    // Frames are shown unedited here; edits show only in the editing dialogs.
    player_.SetOnHook([](TCustomPlayer*, TPicture*, int64_t) {});
}

TPreviewPanel::~TPreviewPanel() {
    player_.SetOnFileOpen(nullptr);
    player_.SetOnPosition(nullptr);
    player_.SetOnState(nullptr);
    player_.Stop(true);
}

void TPreviewPanel::SetButtons(bool play, bool pause, bool stop, bool snap) {
    imgbtnPlay->setEnabled(play);
    imgbtnPAuse->setEnabled(pause);
    imgbtnStop->setEnabled(stop);
    imgbtnSnap->setEnabled(snap);
}

void TPreviewPanel::imgbtnPlayClick() {
    if (paused_) {
        paused_ = false;
        stopped_ = false;
        SetButtons(false, true, true, true);
        if (player_.Paused()) {
            player_.Resume();
        }
        return;
    }
    if (!player_.LibrariesLoaded() &&
        !player_.LoadLibraries(QCoreApplication::applicationDirPath().toStdString() + "/LibAV")) {
        if (host_.log) {
            host_.log(QString::fromStdString(player_.LastError()));
        }
        return;
    }
    if (!host_.rowCount || host_.rowCount() == 0) {
        playAfterAdd_ = true;
        if (host_.openAddDvdMenu) {
            host_.openAddDvdMenu();
        }
        return;
    }
    const std::string url = host_.selectedUrl ? host_.selectedUrl() : std::string();
    if (url.empty()) {
        return;
    }
    SetButtons(false, false, false, false);
    // A title that does not open says nothing; the buttons show playing until Stop.
    player_.Open(url, pan1, false);
    stopped_ = false;
    paused_ = false;
    trcPreview->setEnabled(true);
    SetButtons(false, true, true, true);
}

void TPreviewPanel::imgbtnPauseClick() {
    if (paused_) {
        return;
    }
    player_.Pause();
    paused_ = true;
    stopped_ = false;
    SetButtons(true, false, true, true);
}

void TPreviewPanel::imgbtnStopClick() {
    if (stopped_) {
        return;
    }
    player_.Stop(true);
    ShowStopped();
    pan1->Clear();
    pan1->repaint();
}

void TPreviewPanel::StopForClose() {
    player_.Stop(false);
}

void TPreviewPanel::ShowStopped() {
    trcPreview->setValue(0);
    trcPreview->setEnabled(false);
    stopped_ = true;
    paused_ = false;
    SetButtons(true, false, false, false);
    lblTime->setText(kZeroTime);
    lblPTS->setText(kZeroTime);
}

void TPreviewPanel::imgbtnSnapClick() {
    const TPicture& frame = player_.CurrentFrame();
    if (frame.Width() <= 0) {
        return;
    }
    const QImage view(frame.Bits(), frame.Width(), frame.Height(), frame.Stride(),
                      QImage::Format_BGR888);
    // Both pictures show the title's own shape, as the panel does: the full one with square
    // pixels at the frame's height, the small one as the panel shows it, bars included.
    const TVideoStreamInfo video = player_.AVProbe().GetVideoStreamInfo(-1);
    const AVRational pixels{video.SampleAspectNum, video.SampleAspectDen};
    const int fullWidth = DisplayWidth(frame.Width(), pixels);
    const QImage full = fullWidth == frame.Width()
                            ? view.copy()
                            : view.scaled(fullWidth, frame.Height(), Qt::IgnoreAspectRatio,
                                          Qt::SmoothTransformation);
    const TDisplayRect shown =
        PlacePicture(DisplayAspect(player_.AspectRatio(), pixels, frame.Width(), frame.Height(),
                                   pan1->width(), pan1->height()),
                     pan1->width(), pan1->height());
    QImage small(pan1->size(), QImage::Format_RGB888);
    small.fill(Qt::black);
    QPainter(&small).drawImage(
        QRect(shown.x, shown.y, shown.width, shown.height),
        view.scaled(shown.width, shown.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    if (host_.saveSnapshot) {
        host_.saveSnapshot(full, small);
    }
}

void TPreviewPanel::FFPlayerFileOpen(int64_t duration, int frameWidth, int frameHeight,
                                     int& screenWidth, int& screenHeight) {
    if (host_.log) {
        host_.log(QString::fromStdString(player_.AVProbe().InfoText()));
        host_.log(QString::asprintf("duration: %f, frame size: %dx%d", duration / 1000000.0,
                                    frameWidth, frameHeight));
    }
    screenWidth = pan1->width();
    screenHeight = pan1->height();
    duration_ = duration;
    lblPTS->setText(DurationLabelText(duration));
    trcPreview->setMaximum(std::max(trcPreview->width(), 1));
    trcPreview->setValue(0);
    // The thumb only means something when the duration is known.
    trcPreview->setStyleSheet(duration > 0 ? QString() : "QSlider::handle { width: 0px; }");
}

void TPreviewPanel::FFPlayerPosition(int64_t pts) {
    lblTime->setText(QString::fromStdString(FormatTimeText(pts)));
    if (duration_ > 0 && !trcPreview->isSliderDown()) {
        const QSignalBlocker block(trcPreview);
        trcPreview->setValue(static_cast<int>(std::min<int64_t>(pts, duration_) *
                                              trcPreview->maximum() / duration_));
    }
}

void TPreviewPanel::FFPlayerState(TPlayState state) {
    if (state != psEnd) {
        return;
    }
    trcPreview->setValue(0);
    player_.Seek(sfAny, false, 0);
    player_.Pause();
    ShowStopped();
}

void TPreviewPanel::trcPreviewRelease() {
    if (trcPreview->maximum() <= 0 || stopped_) {
        return;
    }
    player_.Seek(0, false,
                 static_cast<int64_t>(static_cast<double>(trcPreview->value()) /
                                      trcPreview->maximum() * duration_));
}

void TPreviewPanel::SeekBy(double seconds) {
    if (stopped_ || !player_.IsOpen()) {
        return;
    }
    const int64_t target =
        std::clamp<int64_t>(player_.Position() + static_cast<int64_t>(seconds * 1000000), 0,
                            duration_ > 0 ? duration_ : INT64_MAX);
    player_.Seek(0, false, target);
}

void TPreviewPanel::trcVolumeChange(int value) {
    player_.SetAudioVolume(value);
}

void TPreviewPanel::trcVolumeMouseUp() {
    settings_.WriteInteger("settings", "volume", trcVolume->value());
}

void TPreviewPanel::ckMuteClick(bool checked) {
    player_.SetMute(checked);
    settings_.WriteInteger("settings", "mute", checked ? 1 : 0);
}

bool TPreviewPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pan1 && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Space:
            if (!stopped_ && !paused_) {
                imgbtnPauseClick();
            } else {
                imgbtnPlayClick();
            }
            return true;
        case Qt::Key_Left:
            SeekBy(-kKeySeekSeconds);
            return true;
        case Qt::Key_Right:
            SeekBy(kKeySeekSeconds);
            return true;
        default:
            break;
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

} // namespace quovo
