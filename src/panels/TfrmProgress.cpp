#include "TfrmProgress.h"

#include "FitRect.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace quovo {

namespace {

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

// A caption and its value on one grid row. The caption labels the value (its buddy), and the
// value keeps its own text as its name, so a screen reader reads "Current Time: 12 Second"
// rather than the caption twice.
QLabel* ValueRow(QGridLayout* grid, int row, const char* caption, const char* name,
                 QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    auto* value = new QLabel(parent);
    value->setObjectName(name);
    label->setBuddy(value);
    value->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    grid->addWidget(label, row, 0);
    grid->addWidget(value, row, 1);
    return value;
}

} // namespace

TfrmProgress::TfrmProgress(THost host, QWidget* parent)
    : QDialog(parent), host_(std::move(host)),
      canvas_(kPreviewWidth, kPreviewHeight, QImage::Format_RGB888) {
    setObjectName("frmProgress");
    setWindowTitle("Progress");
    setFixedSize(420, 460);
    setWindowModality(Qt::ApplicationModal);
    canvas_.fill(Background());

    imgPreview = new QLabel(this);
    imgPreview->setObjectName("imgPreview");
    imgPreview->setAccessibleName("Preview");
    imgPreview->setFixedSize(kPreviewWidth, kPreviewHeight);
    imgPreview->setPixmap(QPixmap::fromImage(canvas_));

    auto* values = new QGridLayout;
    values->setColumnStretch(1, 1);
    lblTime = ValueRow(values, 0, "Current Time:", "lblTime", this);
    lblLength = ValueRow(values, 1, "Length:", "lblLength", this);
    lblSize = ValueRow(values, 2, "File Size:", "lblSize", this);
    lblProgress = ValueRow(values, 3, "Progress:", "lblProgress", this);
    lblOutput = ValueRow(values, 4, "File:", "lblOutput", this);

    progbarFile = new QProgressBar(this);
    progbarFile->setObjectName("progbarFile");
    progbarFile->setAccessibleName("Progress");
    progbarFile->setTextVisible(true);

    ckShutDown = new QCheckBox("Shut down computer after conversion", this);
    ckShutDown->setObjectName("ckShutDown");
    ckOpen = new QCheckBox("Open the output folder after conversion", this);
    ckOpen->setObjectName("ckOpen");

    btnPause = Button("Pause", "btnPause", this);
    btnResume = Button("Resume", "btnResume", this);
    btnCancel = Button("Cancel", "btnCancel", this);
    imgbtnSnap = new QToolButton(this);
    imgbtnSnap->setObjectName("imgbtnSnap");
    imgbtnSnap->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    imgbtnSnap->setToolTip("Save snapshot picture");
    imgbtnSnap->setAccessibleName("Save snapshot picture");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(imgbtnSnap);
    buttons->addStretch();
    buttons->addWidget(btnPause);
    buttons->addWidget(btnResume);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(imgPreview, 0, Qt::AlignHCenter);
    layout->addLayout(values);
    layout->addWidget(progbarFile);
    layout->addWidget(ckOpen);
    layout->addWidget(ckShutDown);
    layout->addStretch();
    layout->addLayout(buttons);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);

    connect(btnPause, &QPushButton::clicked, this, &TfrmProgress::btnPauseClick);
    connect(btnResume, &QPushButton::clicked, this, &TfrmProgress::btnResumeClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmProgress::btnCancelClick);
    connect(imgbtnSnap, &QToolButton::clicked, this, &TfrmProgress::imgbtnSnapClick);
    connect(Timer1, &QTimer::timeout, this, &TfrmProgress::Timer1Timer);
}

void TfrmProgress::ShowForRun() {
    show();
    raise();
    activateWindow();
}

void TfrmProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TfrmProgress::FormShow() {
    for (QLabel* value : {lblTime, lblLength, lblSize, lblProgress, lblOutput}) {
        value->clear();
    }
    ckOpen->setChecked(true);
    ShowPaused(false);
    canvas_.fill(Background());
    imgPreview->setPixmap(QPixmap::fromImage(canvas_));
    Timer1->start();
    progbarFile->setRange(0, 100);
    progbarFile->setValue(0);
}

void TfrmProgress::ShowPaused(bool paused) {
    btnPause->setEnabled(!paused);
    btnResume->setEnabled(paused);
}

void TfrmProgress::btnPauseClick() {
    ShowPaused(true);
    if (host_.pausedChanged) {
        host_.pausedChanged(true);
    }
}

void TfrmProgress::btnResumeClick() {
    ShowPaused(false);
    if (host_.pausedChanged) {
        host_.pausedChanged(false);
    }
}

void TfrmProgress::btnCancelClick() {
    close();
}

void TfrmProgress::reject() {
    // Every way of closing comes here: Cancel, the title bar, Escape, and the end of the run.
    FormCloseQuery();
    QDialog::reject();
}

void TfrmProgress::FormCloseQuery() {
    Timer1->stop();
    if (host_.closing) {
        host_.closing();
    }
}

void TfrmProgress::Timer1Timer() {
    FillPreview();
}

void TfrmProgress::FillPreview() {
    if (!host_.lastPreview) {
        return;
    }
    const QImage& last = host_.lastPreview();
    if (last.width() <= 0 || last.height() <= 0) {
        return;
    }
    canvas_.fill(Background());
    QPainter painter(&canvas_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(FitRect(last.width(), last.height(), kPreviewWidth, kPreviewHeight), last);
    painter.end();
    imgPreview->setPixmap(QPixmap::fromImage(canvas_));
}

void TfrmProgress::imgbtnSnapClick() {
    if (!host_.lastPreview || !host_.saveSnapshot) {
        return;
    }
    const QImage& last = host_.lastPreview();
    if (last.isNull()) {
        return;
    }
    host_.saveSnapshot(last.copy(), canvas_.copy());
}

} // namespace quovo
