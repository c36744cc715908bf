// The rectangle tracker: where a point hits, how each handle drags, and the real widget under
// the mouse and on screen.
#include "TRectTracker.h"
#include "QtTestApp.h"

#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

using namespace quovo;

namespace {

TEST(RectTracker, HitCodes) {
    // 65 x 65: the side handles start at (65 + 1) div 2 - 3 = 30.
    struct Case {
        QPoint p;
        TTrackerHit hit;
    } cases[] = {
        {{0, 0}, TTrackerHit::TopLeft},       {{4, 4}, TTrackerHit::TopLeft},
        {{64, 64}, TTrackerHit::BottomRight}, {{60, 60}, TTrackerHit::BottomRight},
        {{0, 64}, TTrackerHit::BottomLeft},   {{64, 0}, TTrackerHit::TopRight},
        {{0, 30}, TTrackerHit::Left},         {{4, 34}, TTrackerHit::Left},
        {{64, 32}, TTrackerHit::Right},       {{30, 0}, TTrackerHit::Top},
        {{34, 64}, TTrackerHit::Bottom},      {{32, 32}, TTrackerHit::Move},
        {{5, 5}, TTrackerHit::Move},          {{1, 20}, TTrackerHit::None},
        {{20, 63}, TTrackerHit::None},        {{0, 35}, TTrackerHit::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrackerHitTest(65, 65, c.p), c.hit) << c.p.x() << "," << c.p.y();
    }
}

TEST(RectTracker, DragSteps) {
    const QRect b(100, 100, 65, 65);
    struct Case {
        TTrackerHit mode;
        QRect bounds;
        QPoint last, to;
        QRect result;
        QPoint lastAfter;
    } cases[] = {
        {TTrackerHit::Left, b, {2, 30}, {-8, 30}, QRect(90, 100, 75, 65), {2, 30}},
        {TTrackerHit::Right, b, {63, 30}, {73, 40}, QRect(100, 100, 75, 65), {73, 30}},
        {TTrackerHit::Top, b, {30, 2}, {30, 7}, QRect(100, 105, 65, 60), {30, 2}},
        {TTrackerHit::Bottom, b, {30, 63}, {30, 53}, QRect(100, 100, 65, 55), {30, 53}},
        {TTrackerHit::TopLeft, b, {2, 2}, {7, -3}, QRect(105, 95, 60, 70), {2, 2}},
        {TTrackerHit::TopRight, b, {63, 2}, {70, 5}, QRect(100, 103, 72, 62), {70, 2}},
        {TTrackerHit::BottomLeft, b, {2, 63}, {-2, 70}, QRect(96, 100, 69, 72), {2, 70}},
        {TTrackerHit::BottomRight, b, {63, 63}, {50, 80}, QRect(100, 100, 52, 82), {50, 80}},
        {TTrackerHit::Move, b, {30, 30}, {40, 20}, QRect(110, 90, 65, 65), {30, 30}},
        {TTrackerHit::None, b, {30, 30}, {40, 20}, b, {30, 30}},
        // At the minimum the left and top sides stop; they may still grow.
        {TTrackerHit::Left,
         QRect(100, 100, 10, 10),
         {2, 5},
         {5, 5},
         QRect(100, 100, 10, 10),
         {2, 5}},
        {TTrackerHit::Left,
         QRect(100, 100, 10, 10),
         {2, 5},
         {0, 5},
         QRect(98, 100, 12, 10),
         {2, 5}},
        {TTrackerHit::TopLeft,
         QRect(100, 100, 10, 30),
         {2, 2},
         {6, 6},
         QRect(100, 104, 10, 26),
         {2, 2}},
        {TTrackerHit::TopLeft,
         QRect(100, 100, 30, 10),
         {2, 2},
         {6, 6},
         QRect(104, 100, 26, 10),
         {2, 2}},
        // The right and bottom sides follow the mouse but never below 10.
        {TTrackerHit::BottomRight,
         QRect(100, 100, 20, 20),
         {18, 18},
         {0, 0},
         QRect(100, 100, 10, 10),
         {0, 0}},
    };
    for (const Case& c : cases) {
        QPoint last = c.last;
        EXPECT_EQ(TrackerDragStep(c.mode, c.bounds, last, c.to), c.result)
            << static_cast<int>(c.mode) << " to " << c.to.x() << "," << c.to.y();
        EXPECT_EQ(last, c.lastAfter) << static_cast<int>(c.mode);
    }
}

void Send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button,
          Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TEST(RectTracker, DraggingTheWidgetRaisesChangeOnce) {
    QWidget parent;
    parent.resize(300, 200);
    TRectTracker tracker(&parent);
    tracker.setGeometry(50, 40, 65, 65);
    parent.show();
    QSignalSpy changes(&tracker, &TCustomRectTracker::Change);
    QSignalSpy moves(&tracker, &TCustomRectTracker::MouseMove);

    // A click without moving changes nothing.
    Send(&tracker, QEvent::MouseButtonPress, {30, 30}, Qt::LeftButton, Qt::LeftButton);
    Send(&tracker, QEvent::MouseButtonRelease, {30, 30}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(changes.count(), 0);

    // The bottom-right handle dragged by (+20, +10) in two steps.
    Send(&tracker, QEvent::MouseButtonPress, {62, 62}, Qt::LeftButton, Qt::LeftButton);
    Send(&tracker, QEvent::MouseMove, {72, 67}, Qt::NoButton, Qt::LeftButton);
    Send(&tracker, QEvent::MouseMove, {82, 72}, Qt::NoButton, Qt::LeftButton);
    Send(&tracker, QEvent::MouseButtonRelease, {82, 72}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(tracker.geometry(), QRect(50, 40, 85, 75));
    EXPECT_EQ(moves.count(), 2);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toRect(), QRect(52, 42, 81, 71));

    // Moving without a button only sets the cursor.
    Send(&tracker, QEvent::MouseMove, {40, 40}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(tracker.geometry(), QRect(50, 40, 85, 75));
    EXPECT_EQ(tracker.cursor().shape(), Qt::SizeAllCursor);
}

TEST(RectTracker, BoxAndHandlesInvertThePicture) {
    QWidget parent;
    parent.resize(200, 150);
    parent.setAutoFillBackground(true);
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, QColor(40, 90, 200));
    parent.setPalette(palette);
    TRectTracker tracker(&parent);
    tracker.setGeometry(20, 30, 65, 65);
    const QImage shot = parent.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb background = qRgb(40, 90, 200), inverted = qRgb(215, 165, 55);
    const auto at = [&](int x, int y) { return shot.pixel(20 + x, 30 + y); };
    // Handles: every pixel inverted.
    for (QPoint p : {QPoint(0, 0), QPoint(4, 4), QPoint(64, 64), QPoint(0, 30), QPoint(32, 64)}) {
        EXPECT_EQ(at(p.x(), p.y()), inverted) << p.x() << "," << p.y();
    }
    // The dotted outline along x = 2, between the handles: some inverted, some not.
    int dots = 0, gaps = 0;
    for (int y = 8; y < 28; ++y) {
        dots += at(2, y) == inverted;
        gaps += at(2, y) == background;
    }
    EXPECT_GT(dots, 4);
    EXPECT_GT(gaps, 4);
    EXPECT_EQ(dots + gaps, 20);
    // Inside and outside the box the picture shows as it is.
    EXPECT_EQ(at(30, 20), background);
    EXPECT_EQ(at(1, 20), background);
    EXPECT_EQ(shot.pixel(10, 10), background);
}

TEST(RectTracker, AcControlStaysFivePixelsInside) {
    QWidget parent;
    QWidget inner(&parent);
    inner.setGeometry(40, 40, 100, 60);
    TRectTracker tracker(&parent);
    parent.show(); // move and resize events reach shown widgets
    tracker.SetAcControl(&inner);
    EXPECT_EQ(tracker.geometry(), QRect(35, 35, 110, 70));
    tracker.setGeometry(10, 20, 50, 40);
    EXPECT_EQ(inner.geometry(), QRect(15, 25, 40, 30));
}

} // namespace
