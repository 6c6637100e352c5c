#pragma once
// A private D-Bus for the window's desktop services: a dbus-daemon of the test's own, with
// stand-ins for logind and the notification daemon on a thread of their own (the calls under
// test block).

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QThread>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace ok::test {

// A dbus-daemon for one test, ended with it.
class TPrivateBus {
 public:
  TPrivateBus() {
    FILE* out = ::popen("dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null", "r");
    if (!out) return;
    char line[512];
    if (std::fgets(line, sizeof line, out)) address_ = QString::fromUtf8(line).trimmed();
    if (std::fgets(line, sizeof line, out)) pid_ = std::atoi(line);
    ::pclose(out);
  }
  ~TPrivateBus() {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
  }
  const QString& Address() const { return address_; }

 private:
  QString address_;
  pid_t pid_ = -1;
};

// logind and the notification daemon as far as the calls under test go.
class TFakeServices : public QDBusVirtualObject {
 public:
  std::atomic<bool> RefusePowerOff = false;

  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(message);
    QDBusMessage reply = message.createReply();
    if (message.member() == QLatin1String("PowerOff") && RefusePowerOff)
      reply = message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                       QStringLiteral("Permission denied"));
    else if (message.member() == QLatin1String("Notify"))
      reply << 7u;
    else if (message.member() == QLatin1String("Inhibit")) {
      int fds[2];
      if (::pipe(fds) != 0) return false;
      reply << QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]));  // sends a copy
      ::close(fds[1]);
      lockReadEnd_ = fds[0];
    }
    connection.send(reply);
    return true;
  }
  std::vector<QDBusMessage> Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  // The read end of the last inhibitor lock handed out: it reads end of file once every copy of
  // the write end is closed.
  int LockReadEnd() const { return lockReadEnd_; }

 private:
  std::mutex mutex_;
  std::vector<QDBusMessage> calls_;
  std::atomic<int> lockReadEnd_ = -1;
};

// The stand-ins registered on a private bus for the life of the object.
class TFakeDesktop {
 public:
  TFakeDesktop() {
    if (bus_.Address().isEmpty()) return;
    thread_.start();
    services_.moveToThread(&thread_);
    QMetaObject::invokeMethod(
        &services_,
        [this] {
          QDBusConnection service = QDBusConnection::connectToBus(bus_.Address(), QStringLiteral("services"));
          service.registerService(QStringLiteral("org.freedesktop.login1"));
          service.registerService(QStringLiteral("org.freedesktop.Notifications"));
          service.registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), &services_);
          service.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &services_);
        },
        Qt::BlockingQueuedConnection);
  }
  ~TFakeDesktop() {
    if (!thread_.isRunning()) return;
    QMetaObject::invokeMethod(
        &services_, [] { QDBusConnection::disconnectFromBus(QStringLiteral("services")); },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
  }
  TFakeDesktop(const TFakeDesktop&) = delete;
  TFakeDesktop& operator=(const TFakeDesktop&) = delete;

  bool Available() const { return !bus_.Address().isEmpty(); }
  // A client connection of the program under test.
  QDBusConnection Client() const {
    return QDBusConnection::connectToBus(bus_.Address(), QStringLiteral("client"));
  }
  TFakeServices& Services() { return services_; }
  // The calls of one member, in order.
  std::vector<QDBusMessage> CallsOf(const char* member) {
    std::vector<QDBusMessage> calls;
    for (const QDBusMessage& call : services_.Calls())
      if (call.member() == QLatin1String(member)) calls.push_back(call);
    return calls;
  }

 private:
  TPrivateBus bus_;
  QThread thread_;
  TFakeServices services_;
};

}  // namespace ok::test
