#include "TSplashWindow.h"

#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

namespace quovo {

TSplashWindow::TSplashWindow(const QString& coverFile)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAccessibleName("Quovo");
    if (!coverFile.isEmpty() && QFileInfo::exists(coverFile)) {
        picture_.load(coverFile);
    }
    if (picture_.isNull()) {
        picture_ = BuiltInPicture();
    }
    setFixedSize(picture_.size());
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (!watched_ || watched_->isVisible()) {
            timer_.stop();
            close();
        }
    });
}

void TSplashWindow::CloseWhenShown(QWidget* window) {
    watched_ = window;
    timer_.start();
}

void TSplashWindow::paintEvent(QPaintEvent*) {
    QPainter(this).drawPixmap(0, 0, picture_);
}

QPixmap TSplashWindow::BuiltInPicture() {
    QPixmap pixmap(400, 240);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 240);
    sky.setColorAt(0, QColor(60, 90, 160));
    sky.setColorAt(1, QColor(20, 30, 70));
    p.fillRect(pixmap.rect(), sky);
    // A disc and a film strip: what the program converts.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 225, 240));
    p.drawEllipse(QPointF(90, 120), 60, 60);
    p.setBrush(QColor(60, 90, 160));
    p.drawEllipse(QPointF(90, 120), 12, 12);
    p.setBrush(QColor(255, 190, 60));
    p.drawPolygon(QPolygonF({QPointF(170, 90), QPointF(200, 120), QPointF(170, 150)}));
    p.setPen(Qt::white);
    QFont title;
    title.setPixelSize(44);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRect(210, 70, 190, 60), Qt::AlignLeft | Qt::AlignVCenter, "Quovo");
    QFont line;
    line.setPixelSize(14);
    p.setFont(line);
    p.drawText(QRect(212, 130, 190, 40), Qt::AlignLeft | Qt::AlignTop, "Video converter");
    return pixmap;
}

QString CoverFile(const std::string& formatFile) {
    return QFileInfo(QString::fromStdString(formatFile)).absolutePath() + "/skin/quovocover.jpg";
}

} // namespace quovo
