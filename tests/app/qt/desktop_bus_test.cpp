// The desktop services over a private bus: a dbus-daemon of the test's own, with stand-ins for
// logind and the notification daemon on a thread of their own (the calls under test block).

#include "app/qt/desktop_bus.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QThread>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace ok {
namespace {

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

class DesktopBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (bus_.Address().isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed";
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
  void TearDown() override {
    if (!thread_.isRunning()) return;
    QMetaObject::invokeMethod(
        &services_, [] { QDBusConnection::disconnectFromBus(QStringLiteral("services")); },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
  }
  TDesktopBus Client() {
    const QDBusConnection client = QDBusConnection::connectToBus(bus_.Address(), QStringLiteral("client"));
    return TDesktopBus(client, client, QStringLiteral("ostrelkalvexa"));
  }

  TPrivateBus bus_;
  QThread thread_;
  TFakeServices services_;
};

TEST_F(DesktopBusTest, PowerOffAsksLogindInteractivelyAndReportsARefusal) {
  TDesktopBus bus = Client();
  std::string error;
  EXPECT_TRUE(bus.PowerOff(error)) << error;
  services_.RefusePowerOff = true;
  EXPECT_FALSE(bus.PowerOff(error));
  EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
  const std::vector<QDBusMessage> calls = services_.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].interface(), QStringLiteral("org.freedesktop.login1.Manager"));
  EXPECT_EQ(calls[0].arguments(), QVariantList{true});
}

TEST_F(DesktopBusTest, NotificationCarriesTheTextsAndTheDesktopEntry) {
  TDesktopBus bus = Client();
  EXPECT_TRUE(bus.Notify(QStringLiteral("转换完成"), QStringLiteral("3 个文件")));
  const std::vector<QDBusMessage> calls = services_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  const QVariantList args = calls[0].arguments();
  ASSERT_EQ(args.size(), 8);
  EXPECT_EQ(args[3].toString(), QStringLiteral("转换完成"));
  EXPECT_EQ(args[4].toString(), QStringLiteral("3 个文件"));
}

TEST_F(DesktopBusTest, InhibitorLockLastsAsLongAsItsHolder) {
  TDesktopBus bus = Client();
  {
    TSleepInhibitor lock = bus.InhibitSleep(QStringLiteral("converting"));
    ASSERT_TRUE(lock.Held());
    ASSERT_GE(services_.LockReadEnd(), 0);
    ASSERT_EQ(services_.Calls().at(0).arguments().at(0).toString(), QStringLiteral("sleep:idle"));
  }
  char byte;
  EXPECT_EQ(::read(services_.LockReadEnd(), &byte, 1), 0);  // every write end closed: released
  ::close(services_.LockReadEnd());
}

TEST(DesktopBus, WithoutServicesEveryCallFailsQuietly) {
  TPrivateBus empty;
  if (empty.Address().isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed";
  {
    const QDBusConnection client = QDBusConnection::connectToBus(empty.Address(), QStringLiteral("lonely"));
    TDesktopBus bus(client, client, QStringLiteral("ostrelkalvexa"));
    std::string error;
    EXPECT_FALSE(bus.PowerOff(error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(bus.Notify(QStringLiteral("a"), QStringLiteral("b")));
    EXPECT_FALSE(bus.InhibitSleep(QStringLiteral("c")).Held());
    bus.SetLauncherProgress(0.5, true);  // a signal nobody listens to
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("lonely"));
}

}  // namespace
}  // namespace ok
