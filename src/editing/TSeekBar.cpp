#include "TSeekBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionSlider>

namespace quovo {

TSeekBar::TSeekBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::NoTicks);
    setRange(0, 0);
}

void TSeekBar::SetSelection(int start, int end) {
    selStart_ = start;
    selEnd_ = end;
    update();
}

void TSeekBar::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (selStart_ >= selEnd_ || maximum() <= minimum()) {
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const auto x = [&](int position) {
        return groove.left() + static_cast<int>(static_cast<int64_t>(groove.width()) *
                                                (position - minimum()) / (maximum() - minimum()));
    };
    QPainter p(this);
    QColor band = palette().color(QPalette::Highlight);
    band.setAlpha(150);
    p.fillRect(QRect(QPoint(x(selStart_), groove.top()), QPoint(x(selEnd_), groove.bottom())),
               band);
}

void TSeekBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        leftHeld_ = true; // before the slider's own steps, which report actions
    }
    QSlider::mousePressEvent(event);
}

void TSeekBar::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) {
        return;
    }
    leftHeld_ = false;
    if (rect().contains(event->position().toPoint())) {
        emit ReleasedOver(value());
    }
}

} // namespace quovo
