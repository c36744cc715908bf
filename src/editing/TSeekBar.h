// The editing dialogs' seek bar: a horizontal slider whose maximum is its width in pixels, with
// a marked stretch (the trim dialog's chosen part) drawn along its groove. It reports a release
// of the left button over itself, which is when the dialogs seek; what the button does to the
// bar while it is held (a drag, the groove's page steps) does not seek.
#pragma once

#include <QSlider>

namespace quovo {

class TSeekBar : public QSlider {
    Q_OBJECT
public:
    explicit TSeekBar(QWidget* parent = nullptr);

    // The marked stretch in slider positions; an empty one (start >= end) draws nothing.
    void SetSelection(int start, int end);
    void ClearSelection() { SetSelection(0, 0); }
    int SelStart() const { return selStart_; }
    int SelEnd() const { return selEnd_; }
    // Whether the left button went down on the bar and is not yet released.
    bool LeftButtonHeld() const { return leftHeld_; }

signals:
    // The left button went up while the pointer was over the bar.
    void ReleasedOver(int position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool leftHeld_ = false;
    int selStart_ = 0;
    int selEnd_ = 0;
};

} // namespace quovo
