// The end-of-run notification over a private session bus of the test's own, with a notification
// service that records what it is asked to show.
#include "TDBusDesktop.h"

#include "../formats/FormatsTestSupport.h"
#include "QtTestApp.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>

#include <cstdlib>

namespace quovo {
namespace {

class TNotificationService : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != "Notify") {
            return false;
        }
        Calls.push_back(message.arguments());
        connection.send(message.createReply(QVariant::fromValue(uint(42))));
        return true;
    }
    std::vector<QList<QVariant>> Calls;
};

TEST(DBusDesktopTest, TheNoticeSaysWhatRanAndOpensTheOutputFolder) {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) {
        GTEST_SKIP() << "no dbus-daemon";
    }
    test::TScratchFolder dir;
    const QString address = QString::fromStdString("unix:path=" + (dir / "bus"));
    QProcess daemon;
    // The daemon prints its address once it listens; the socket file appears before that.
    daemon.start("dbus-daemon",
                 {"--session", "--nofork", "--print-address", "--address=" + address});
    ASSERT_TRUE(daemon.waitForStarted());
    ASSERT_TRUE(daemon.waitForReadyRead(20000));
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8().constData(), 1);
    {
        QDBusConnection server = QDBusConnection::connectToBus(address, "notification-service");
        ASSERT_TRUE(server.isConnected());
        TNotificationService service;
        ASSERT_TRUE(server.registerVirtualObject("/org/freedesktop/Notifications", &service));
        ASSERT_TRUE(server.registerService("org.freedesktop.Notifications"));

        QStringList opened;
        TDBusDesktop desktop(nullptr, [&](const QString& folder) { opened << folder; });
        desktop.RunEnded(2, 1, "/videos/out");
        ASSERT_TRUE(test::WaitUntil([&] { return desktop.LastNotification() == 42; }));
        ASSERT_EQ(service.Calls.size(), 1u);
        const QList<QVariant>& notify = service.Calls[0];
        ASSERT_EQ(notify.size(), 8);
        EXPECT_EQ(notify[0].toString(), "Quovo");
        EXPECT_EQ(notify[3].toString(), "The conversion has finished");
        EXPECT_EQ(notify[4].toString(), "2 converted, 1 failed.");
        EXPECT_EQ(notify[5].toStringList(), (QStringList{"default", "Open the output folder"}));

        // Another program's notice is not this one.
        auto invoke = [&](uint id) {
            QDBusMessage signal = QDBusMessage::createSignal(
                "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
            signal << id << QString("default");
            ASSERT_TRUE(server.send(signal));
        };
        invoke(7);
        invoke(42);
        ASSERT_TRUE(test::WaitUntil([&] { return !opened.isEmpty(); }));
        EXPECT_EQ(opened, QStringList{"/videos/out"});
        server.unregisterService("org.freedesktop.Notifications");
    }
    QDBusConnection::disconnectFromBus("notification-service");
    daemon.kill();
    daemon.waitForFinished();
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

} // namespace
} // namespace quovo
