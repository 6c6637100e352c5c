#include "app/qt/desktop_bus.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>
#include <algorithm>

namespace ok {

namespace {

const QString LogindService = QStringLiteral("org.freedesktop.login1");
const QString LogindPath = QStringLiteral("/org/freedesktop/login1");
const QString LogindManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString NotificationsService = QStringLiteral("org.freedesktop.Notifications");
const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
// Polkit may put a password dialog up: give the user time to answer it.
constexpr int InteractiveTimeoutMs = 120000;

}  // namespace

TDesktopBus::TDesktopBus(QDBusConnection systemBus, QDBusConnection sessionBus, QString desktopId)
    : system_(std::move(systemBus)), session_(std::move(sessionBus)), desktopId_(std::move(desktopId)) {}

TDesktopBus& TDesktopBus::Default() {
  static TDesktopBus bus(QDBusConnection::systemBus(), QDBusConnection::sessionBus(),
                         QStringLiteral("ostrelkalvexa"));
  return bus;
}

bool TDesktopBus::PowerOff(std::string& error) {
  if (!system_.isConnected()) {
    error = "no system bus: " + system_.lastError().message().toStdString();
    return false;
  }
  QDBusMessage call =
      QDBusMessage::createMethodCall(LogindService, LogindPath, LogindManager, QStringLiteral("PowerOff"));
  call << true;  // interactive
  call.setInteractiveAuthorizationAllowed(true);
  const QDBusMessage reply = system_.call(call, QDBus::Block, InteractiveTimeoutMs);
  if (reply.type() == QDBusMessage::ReplyMessage) return true;
  error = (reply.errorName() + QStringLiteral(": ") + reply.errorMessage()).toStdString();
  return false;
}

bool TDesktopBus::Notify(const QString& summary, const QString& body) {
  if (!session_.isConnected()) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(NotificationsService, NotificationsPath,
                                                     NotificationsService, QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), desktopId_);
  call << QStringLiteral("OstrelKalvexa") << 0u << desktopId_ << summary << body << QStringList() << hints
       << -1;
  const QDBusMessage reply = session_.call(call, QDBus::Block, 5000);
  return reply.type() == QDBusMessage::ReplyMessage;
}

TSleepInhibitor TDesktopBus::InhibitSleep(const QString& why) {
  if (!system_.isConnected()) return {};
  QDBusMessage call =
      QDBusMessage::createMethodCall(LogindService, LogindPath, LogindManager, QStringLiteral("Inhibit"));
  call << QStringLiteral("sleep:idle") << QStringLiteral("OstrelKalvexa") << why << QStringLiteral("block");
  const QDBusReply<QDBusUnixFileDescriptor> reply = system_.call(call, QDBus::Block, 5000);
  return reply.isValid() ? TSleepInhibitor(reply.value()) : TSleepInhibitor();
}

void TDesktopBus::SetLauncherProgress(double progress, bool visible) {
  if (!session_.isConnected()) return;
  // The launcher-entry signal that docks and task bars (KDE Plasma, Dash to Dock, Plank) follow.
  QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/com/ostrelkalvexa/LauncherEntry"),
                                                   QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                   QStringLiteral("Update"));
  QVariantMap properties;
  properties.insert(QStringLiteral("progress"), std::clamp(progress, 0.0, 1.0));
  properties.insert(QStringLiteral("progress-visible"), visible);
  signal << QStringLiteral("application://") + desktopId_ + QStringLiteral(".desktop") << properties;
  session_.send(signal);
}

}  // namespace ok
