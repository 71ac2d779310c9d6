#include "capture/Notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "platform/SessionBus.h"

void NotifyDesktop(const std::string& summary, const std::string& body) {
    if (!platform::SessionBusRuns()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Lumagrabber") << 0u << QStringLiteral("lumagrabber-config")
         << QString::fromStdString(summary) << QString::fromStdString(body) << QStringList()
         << QVariantMap() << -1;
    bus.send(call);  // never waits for a server that may not answer
}
