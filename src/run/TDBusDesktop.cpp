#include "TDBusDesktop.h"

#include "TShutDownCountdown.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QWidget>

namespace quovo {

namespace {

const char* const kLogind = "org.freedesktop.login1";
const char* const kLogindPath = "/org/freedesktop/login1";
const char* const kLogindManager = "org.freedesktop.login1.Manager";
const char* const kNotifications = "org.freedesktop.Notifications";
const char* const kNotificationsPath = "/org/freedesktop/Notifications";

} // namespace

bool RequestPowerOff() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kLogind, kLogindPath, kLogindManager, "PowerOff");
    call << true; // interactive
    call.setInteractiveAuthorizationAllowed(true);
    return bus.call(call).type() == QDBusMessage::ReplyMessage;
}

TDBusDesktop::TDBusDesktop(QWidget* window, TFolderOpener openFolder, QObject* parent)
    : QObject(parent), window_(window), openFolder_(std::move(openFolder)) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.connect(kNotifications, kNotificationsPath, kNotifications, "ActionInvoked", this,
                    SLOT(ActionInvoked(uint, QString)));
    }
}

TDBusDesktop::~TDBusDesktop() = default;

void TDBusDesktop::ShutDownComputer() {
    if (countdown_) {
        return; // already counting
    }
    countdown_ = new TShutDownCountdown([] { RequestPowerOff(); }, window_);
    countdown_->Start();
}

void TDBusDesktop::HoldSleep(bool hold) {
    wantSleepHold_ = hold;
    if (!hold) {
        inhibitor_ = QDBusUnixFileDescriptor(); // closing the descriptor ends the inhibition
        return;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (inhibitor_.isValid() || !bus.isConnected()) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kLogind, kLogindPath, kLogindManager, "Inhibit");
    call << QString("sleep") << QString("Quovo") << QString("Converting videos")
         << QString("block");
    // Asked without waiting: the run does not wait for logind.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                QDBusPendingReply<QDBusUnixFileDescriptor> reply = *done;
                done->deleteLater();
                // A run that ended before the answer came lets the descriptor go at once.
                if (!reply.isError() && wantSleepHold_) {
                    inhibitor_ = reply.value();
                }
            });
}

void TDBusDesktop::RunEnded(int converted, int failed, const QString& folder) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath,
                                                       kNotifications, "Notify");
    const QString body = failed == 0
                             ? QString("%1 converted.").arg(converted)
                             : QString("%1 converted, %2 failed.").arg(converted).arg(failed);
    call << QString("Quovo") << notification_ << QString("quovo")
         << QString("The conversion has finished") << body
         << QStringList{"default", "Open the output folder"} << QVariantMap{} << int(-1);
    notifiedFolder_ = folder;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                QDBusPendingReply<uint> reply = *done;
                done->deleteLater();
                if (!reply.isError()) {
                    notification_ = reply.value();
                }
            });
}

void TDBusDesktop::ActionInvoked(uint id, const QString& action) {
    if (id != 0 && id == notification_ && openFolder_ && !notifiedFolder_.isEmpty()) {
        openFolder_(notifiedFolder_);
    }
}

} // namespace quovo
