// The Qt widget a player draws into: it paints the last picture the player presented (so it is
// redrawn while paused and on every expose), takes the keyboard focus on a click and tells the
// player when it is resized. The owner places it in its panel; close requests do not reach it as
// it is never a window of its own.
#pragma once

#include "TVideoOutput.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <mutex>

namespace quovo {

class TVideoWidget : public QWidget, public TVideoOutput {
    Q_OBJECT
public:
    explicit TVideoWidget(QWidget* parent = nullptr);
    ~TVideoWidget() override;

    void OutputSize(int& width, int& height) const override;
    void Present(std::shared_ptr<const TOutputImage> image) override;
    void Clear() override;
    void SetResizeHandler(std::function<void(int width, int height)> handler) override;

    // What the widget shows now, at its own size (black where nothing is drawn).
    QImage Shown() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    mutable std::mutex lock_;
    std::shared_ptr<const TOutputImage> image_;   // --- guarded by lock_
    std::function<void(int, int)> resizeHandler_; // --- guarded by lock_
    std::atomic<int> width_{0}, height_{0};
};

} // namespace quovo
