// A rectangle the user moves and resizes with the mouse over a picture: a dotted box whose
// pixels invert what lies under them, with eight 5 x 5 handles (corners and side middles).
// Dragging a handle resizes, dragging inside moves; the left and top sides stop at the minimum
// size of 10 x 10 while the right and bottom sides follow the mouse. The owner keeps the box on
// its picture from MouseMove (raised after each drag step) and learns the result from Change.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

namespace quovo {

// Where a point of the tracker lies; tested in this order.
enum class TTrackerHit {
    Left = 0,
    Right = 1,
    Top = 2,
    Bottom = 3,
    TopLeft = 4,
    TopRight = 5,
    BottomLeft = 6,
    BottomRight = 7,
    Move = 8,
    None = 9,
};

// The hit code of point p (tracker coordinates) of a w x h tracker.
TTrackerHit TrackerHitTest(int w, int h, QPoint p);

// One mouse move while dragging: the tracker's bounds (parent coordinates) after the mouse
// reached p (tracker coordinates) with the drag's last point `last`, which the right and
// bottom sides move along. Neither side goes below 10 pixels.
QRect TrackerDragStep(TTrackerHit mode, const QRect& bounds, QPoint& last, QPoint p);

class TCustomRectTracker : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinimum = 10;

    explicit TCustomRectTracker(QWidget* parent = nullptr);

    // The inner rectangle in the parent's coordinates: the box without its 2-pixel border,
    // (left + 2, top + 2) to (left + width - 2, top + height - 2) exclusive.
    QRect TrackRect() const;

    // A control kept 5 pixels inside the tracker; assigning one sizes the tracker around it.
    void SetAcControl(QWidget* control);
    QWidget* AcControl() const { return acControl_; }

signals:
    // On release, when the bounds differ from those at the press.
    void Change(QRect trackRect);
    void MouseDown(QPoint point);
    // After each drag step (and on every move without a button).
    void MouseMove(QPoint point);
    void MouseUp(QPoint point);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void FollowAcControl();

    TTrackerHit mode_ = TTrackerHit::None;
    QPoint last_{-1, -1};
    QRect boundsAtPress_;
    QPointer<QWidget> acControl_;
};

class TRectTracker : public TCustomRectTracker {
    Q_OBJECT
public:
    using TCustomRectTracker::TCustomRectTracker;
};

} // namespace quovo
