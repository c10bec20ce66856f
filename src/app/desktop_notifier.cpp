#include "app/desktop_notifier.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>

namespace korvi {

bool IsUserIn(const QWidget& window) {
  // Walked by hand: isAncestorOf() stops at window boundaries.
  for (const QWidget* w = QApplication::activeWindow(); w; w = w->parentWidget())
    if (w == &window) return true;
  return false;
}

void DesktopNotifier::NotifyIfAway(const QWidget& window, const QString& summary, const QString& body) const {
  if (!IsUserIn(window)) Notify(summary, body);
}

void DesktopNotifier::Notify(const QString& summary, const QString& body) const {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the server's)
  call << QStringLiteral("Korvi CD Ripper") << 0u << QStringLiteral("korvi-cd-ripper") << summary << body
       << QStringList() << QVariantMap() << -1;
  // Sent as a call that wants no reply: the id it would carry is of no use here, and waiting for it
  // could hang the window on a stuck server.
  bus.send(call);
}

}  // namespace korvi
