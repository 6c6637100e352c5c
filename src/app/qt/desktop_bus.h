#pragma once
// The freedesktop services of a desktop session, over D-Bus: logind (powering off with its polkit
// check, keeping the session from sleeping), the notification daemon, and the launcher entry's
// progress that docks and task bars show. Every call fails quietly when the service is absent:
// a desktop without one still converts.

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QString>
#include <optional>
#include <string>

#include "platform/system_shutdown.h"

namespace ok {

// Holds logind's inhibitor lock: the session does not sleep while it lives.
class TSleepInhibitor {
 public:
  TSleepInhibitor() = default;
  explicit TSleepInhibitor(QDBusUnixFileDescriptor fd) : fd_(std::move(fd)) {}
  bool Held() const { return fd_.isValid(); }

 private:
  QDBusUnixFileDescriptor fd_;  // closed with the holder, which releases the lock
};

class TDesktopBus {
 public:
  // `desktopId` names the .desktop file without its suffix ("ostrelkalvexa").
  TDesktopBus(QDBusConnection systemBus, QDBusConnection sessionBus, QString desktopId);
  // The session's own buses.
  static TDesktopBus& Default();

  // logind's Manager.PowerOff, interactive so that polkit may ask the user.
  bool PowerOff(std::string& error);
  // A notification with the program's icon; false when no notification daemon answered.
  bool Notify(const QString& summary, const QString& body);
  // Keeps the system from sleeping or idling for `why` until the holder is dropped.
  TSleepInhibitor InhibitSleep(const QString& why);
  // The progress (0 to 1) on the program's task bar or dock entry; hidden when not `visible`.
  void SetLauncherProgress(double progress, bool visible);

 private:
  QDBusConnection system_;
  QDBusConnection session_;
  QString desktopId_;
};

// Powering off through logind on the system bus.
class TLogindShutdown : public TSystemShutdown {
 public:
  explicit TLogindShutdown(TDesktopBus& bus) : bus_(bus) {}
  bool PowerOff(std::string& error) override { return bus_.PowerOff(error); }

 private:
  TDesktopBus& bus_;
};

}  // namespace ok
