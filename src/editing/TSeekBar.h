// The editing dialogs' seek bar: a horizontal slider whose maximum is its width in pixels, with
// a marked stretch (the trim dialog's chosen part) drawn along its groove. It reports a release
// of the left button over itself, which is when the dialogs seek.
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

signals:
    // The left button went up while the pointer was over the bar.
    void ReleasedOver(int position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int selStart_ = 0;
    int selEnd_ = 0;
};

} // namespace quovo
