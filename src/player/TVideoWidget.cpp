#include "TVideoWidget.h"

#include <QMouseEvent>
#include <QPainter>

namespace quovo {

TVideoWidget::TVideoWidget(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    width_ = width();
    height_ = height();
}

TVideoWidget::~TVideoWidget() = default;

void TVideoWidget::OutputSize(int& width, int& height) const {
    width = width_;
    height = height_;
}

void TVideoWidget::Present(std::shared_ptr<const TOutputImage> image) {
    {
        std::lock_guard lock(lock_);
        image_ = std::move(image);
    }
    QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

void TVideoWidget::Clear() {
    {
        std::lock_guard lock(lock_);
        image_.reset();
    }
    QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

void TVideoWidget::SetResizeHandler(std::function<void(int, int)> handler) {
    std::lock_guard lock(lock_);
    resizeHandler_ = std::move(handler);
}

QImage TVideoWidget::Shown() const {
    QImage shown(size(), QImage::Format_RGB32);
    shown.fill(palette().color(QPalette::Window));
    std::shared_ptr<const TOutputImage> image;
    {
        std::lock_guard lock(lock_);
        image = image_;
    }
    if (image) {
        QPainter painter(&shown);
        painter.fillRect(shown.rect(), Qt::black);
        const QImage picture(image->pixels.data(), image->width, image->height, image->stride,
                             QImage::Format_RGB32);
        // Drawn at the size the player placed it for; a resize not yet answered stretches.
        const double sx = image->areaWidth > 0 ? double(width()) / image->areaWidth : 1.0;
        const double sy = image->areaHeight > 0 ? double(height()) / image->areaHeight : 1.0;
        painter.drawImage(
            QRectF(image->x * sx, image->y * sy, image->width * sx, image->height * sy), picture);
    }
    return shown;
}

void TVideoWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, Shown());
}

void TVideoWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    width_ = width();
    height_ = height();
    std::function<void(int, int)> handler;
    {
        std::lock_guard lock(lock_);
        handler = resizeHandler_;
    }
    if (handler) {
        handler(width(), height());
    }
}

void TVideoWidget::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event); // the owner's handling goes on
    event->ignore();
}

} // namespace quovo
