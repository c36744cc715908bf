// The desktop services of a run over D-Bus: logind's PowerOff (interactive, so the desktop's
// policy decides) after the countdown window, logind's sleep inhibitor "Converting videos" while a
// run goes on, and a notification from the session's notification service at the end, whose
// default action opens the output folder. Without a bus, logind or a notification service each
// call does nothing.
#pragma once

#include "TDesktopActions.h"

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace quovo {

class TShutDownCountdown;

class TDBusDesktop : public QObject, public TDesktopActions {
    Q_OBJECT
public:
    using TFolderOpener = std::function<void(const QString& folder)>;
    TDBusDesktop(QWidget* window, TFolderOpener openFolder, QObject* parent = nullptr);
    ~TDBusDesktop() override;

    void ShutDownComputer() override;
    void HoldSleep(bool hold) override;
    void RunEnded(int converted, int failed, const QString& folder) override;

    bool HoldingSleep() const { return inhibitor_.isValid(); }
    // The id of the last notification shown (0: none).
    uint LastNotification() const { return notification_; }

private slots:
    void ActionInvoked(uint id, const QString& action);

private:
    QWidget* window_;
    TFolderOpener openFolder_;
    QPointer<TShutDownCountdown> countdown_;
    QDBusUnixFileDescriptor inhibitor_;
    bool wantSleepHold_ = false;
    uint notification_ = 0;
    QString notifiedFolder_;
};

// Asks logind to switch the computer off, letting the desktop ask for authorisation. False when
// logind cannot be reached or refuses.
bool RequestPowerOff();

} // namespace quovo
