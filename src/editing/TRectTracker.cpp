#include "TRectTracker.h"

#include <QMouseEvent>
#include <QPainter>

namespace quovo {

namespace {

// A handle's square in tracker coordinates.
QRect Handle(TTrackerHit hit, int w, int h) {
    const int midW = (w + 1) / 2 - 3;
    const int midH = (h + 1) / 2 - 3;
    switch (hit) {
    case TTrackerHit::TopLeft:
        return QRect(0, 0, 5, 5);
    case TTrackerHit::BottomRight:
        return QRect(w - 5, h - 5, 5, 5);
    case TTrackerHit::BottomLeft:
        return QRect(0, h - 5, 5, 5);
    case TTrackerHit::TopRight:
        return QRect(w - 5, 0, 5, 5);
    case TTrackerHit::Left:
        return QRect(0, midH, 5, 5);
    case TTrackerHit::Right:
        return QRect(w - 5, midH, 5, 5);
    case TTrackerHit::Top:
        return QRect(midW, 0, 5, 5);
    case TTrackerHit::Bottom:
        return QRect(midW, h - 5, 5, 5);
    default:
        return QRect();
    }
}

constexpr TTrackerHit kHandles[] = {
    TTrackerHit::TopLeft, TTrackerHit::BottomRight, TTrackerHit::BottomLeft, TTrackerHit::TopRight,
    TTrackerHit::Left,    TTrackerHit::Right,       TTrackerHit::Top,        TTrackerHit::Bottom};

Qt::CursorShape CursorFor(TTrackerHit hit) {
    switch (hit) {
    case TTrackerHit::TopLeft:
    case TTrackerHit::BottomRight:
        return Qt::SizeFDiagCursor;
    case TTrackerHit::BottomLeft:
    case TTrackerHit::TopRight:
        return Qt::SizeBDiagCursor;
    case TTrackerHit::Left:
    case TTrackerHit::Right:
        return Qt::SizeHorCursor;
    case TTrackerHit::Top:
    case TTrackerHit::Bottom:
        return Qt::SizeVerCursor;
    case TTrackerHit::Move:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

} // namespace

TTrackerHit TrackerHitTest(int w, int h, QPoint p) {
    for (TTrackerHit hit : kHandles) {
        if (Handle(hit, w, h).contains(p)) {
            return hit;
        }
    }
    if (QRect(QPoint(2, 2), QPoint(w - 3, h - 3)).contains(p)) {
        return TTrackerHit::Move;
    }
    return TTrackerHit::None;
}

QRect TrackerDragStep(TTrackerHit mode, const QRect& bounds, QPoint& last, QPoint p) {
    int left = bounds.left(), top = bounds.top();
    int width = bounds.width(), height = bounds.height();
    const int dx = p.x() - last.x();
    const int dy = p.y() - last.y();
    const int m = TCustomRectTracker::kMinimum;
    const auto moveLeft = [&] {
        if (width > m || dx <= 0) {
            left += dx;
            width -= dx;
            return true;
        }
        return false;
    };
    const auto moveTop = [&] {
        if (height > m || dy <= 0) {
            top += dy;
            height -= dy;
        }
    };
    switch (mode) {
    case TTrackerHit::Left:
        moveLeft();
        break;
    case TTrackerHit::Right:
        width += dx;
        last.setX(p.x());
        break;
    case TTrackerHit::Top:
        moveTop();
        break;
    case TTrackerHit::Bottom:
        height += dy;
        last.setY(p.y());
        break;
    case TTrackerHit::TopLeft:
        if (width > m || dx <= 0) {
            left += dx;
            width -= dx;
            if (!(height <= m && dy > 0)) {
                top += dy;
                height -= dy;
            }
        } else {
            moveTop();
        }
        break;
    case TTrackerHit::TopRight:
        if (!(height <= m && dy > 0)) {
            top += dy;
            height -= dy;
        }
        width += dx;
        last.setX(p.x());
        break;
    case TTrackerHit::BottomLeft:
        moveLeft();
        height += dy;
        last.setY(p.y());
        break;
    case TTrackerHit::BottomRight:
        width += dx;
        height += dy;
        last = p;
        break;
    case TTrackerHit::Move:
        left += dx;
        top += dy;
        break;
    case TTrackerHit::None:
        break;
    }
    return QRect(left, top, std::max(width, m), std::max(height, m));
}

TCustomRectTracker::TCustomRectTracker(QWidget* parent) : QWidget(parent) {
    setMinimumSize(kMinimum, kMinimum);
    resize(65, 65);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
}

QRect TCustomRectTracker::TrackRect() const {
    const QRect b = geometry();
    return QRect(b.left() + 2, b.top() + 2, b.width() - 4, b.height() - 4);
}

void TCustomRectTracker::SetAcControl(QWidget* control) {
    acControl_ = control;
    if (control != nullptr) {
        setGeometry(control->geometry().adjusted(-5, -5, 5, 5));
    }
}

void TCustomRectTracker::FollowAcControl() {
    if (acControl_ != nullptr) {
        acControl_->setGeometry(x() + 5, y() + 5, width() - 10, height() - 10);
    }
}

void TCustomRectTracker::paintEvent(QPaintEvent*) {
    // Inverting what lies under the pen keeps the box visible on any picture.
    QPainter p(this);
    p.setCompositionMode(QPainter::RasterOp_NotDestination);
    QPen dotted(Qt::black, 1, Qt::DotLine);
    p.setPen(dotted);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(2, 2, width() - 5, height() - 5)); // the outline covers x 2 .. width - 3
    for (TTrackerHit hit : kHandles) {
        p.fillRect(Handle(hit, width(), height()), Qt::black);
    }
}

void TCustomRectTracker::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QPoint point = event->position().toPoint();
    boundsAtPress_ = geometry();
    last_ = point;
    mode_ = TrackerHitTest(width(), height(), point);
    emit MouseDown(point);
}

void TCustomRectTracker::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (mode_ != TTrackerHit::None && (event->buttons() & Qt::LeftButton)) {
        setGeometry(TrackerDragStep(mode_, geometry(), last_, point));
    }
    setCursor(CursorFor(TrackerHitTest(width(), height(), point)));
    emit MouseMove(point);
}

void TCustomRectTracker::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    last_ = QPoint(-1, -1);
    mode_ = TTrackerHit::None;
    if (geometry() != boundsAtPress_) {
        emit Change(TrackRect());
    }
    emit MouseUp(event->position().toPoint());
}

void TCustomRectTracker::resizeEvent(QResizeEvent*) {
    FollowAcControl();
}

void TCustomRectTracker::moveEvent(QMoveEvent*) {
    FollowAcControl();
}

} // namespace quovo
