#include "TShutDownCountdown.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace quovo {

TShutDownCountdown::TShutDownCountdown(std::function<void()> powerOff, QWidget* parent)
    : QDialog(parent), powerOff_(std::move(powerOff)) {
    setObjectName("frmShutDown");
    setWindowTitle("Shut Down");
    setAttribute(Qt::WA_DeleteOnClose);
    lblCountdown = new QLabel(this);
    lblCountdown->setObjectName("lblCountdown");
    lblCountdown->setAccessibleName("Shut down");
    btnShutDownNow = new QPushButton("Shut Down &Now", this);
    btnShutDownNow->setObjectName("btnShutDownNow");
    btnCancel = new QPushButton("&Cancel", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setDefault(true); // Enter keeps the computer on
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnShutDownNow);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblCountdown);
    layout->addLayout(buttons);

    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &TShutDownCountdown::Tick);
    connect(btnShutDownNow, &QPushButton::clicked, this, &TShutDownCountdown::PowerOff);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::finished, this, [this] {
        done_ = true; // cancelled or done: nothing counts any more
        timer_->stop();
    });
    ShowLeft();
}

void TShutDownCountdown::Start() {
    left_ = kSeconds;
    ShowLeft();
    show();
    raise();
    timer_->start();
}

void TShutDownCountdown::Tick() {
    if (done_ || left_ <= 0) {
        return;
    }
    --left_;
    ShowLeft();
    if (left_ == 0) {
        PowerOff();
    }
}

void TShutDownCountdown::ShowLeft() {
    lblCountdown->setText(
        QString("The conversion has finished. The computer will shut down in %1 seconds.")
            .arg(left_));
}

void TShutDownCountdown::PowerOff() {
    if (done_) {
        return;
    }
    done_ = true;
    timer_->stop();
    if (powerOff_) {
        powerOff_();
    }
    accept();
}

} // namespace quovo
