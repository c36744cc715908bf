// The last chance before the computer is switched off after a run: a window that counts down
// from 60 seconds, with "Shut Down Now" and "Cancel". It powers off once the count reaches zero
// or the user asks; Cancel, Escape or closing it leaves the computer on.
#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QTimer;

namespace quovo {

class TShutDownCountdown : public QDialog {
    Q_OBJECT
public:
    static constexpr int kSeconds = 60;

    TShutDownCountdown(std::function<void()> powerOff, QWidget* parent = nullptr);

    // Shows the window and starts the count.
    void Start();
    // One second passed.
    void Tick();
    int SecondsLeft() const { return left_; }

    QLabel* lblCountdown;
    QPushButton* btnShutDownNow;
    QPushButton* btnCancel;

private:
    void PowerOff();
    void ShowLeft();

    std::function<void()> powerOff_;
    QTimer* timer_;
    int left_ = kSeconds;
    bool done_ = false;
};

} // namespace quovo
