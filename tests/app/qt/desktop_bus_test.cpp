// The desktop services against stand-ins on a private bus.

#include "app/qt/desktop_bus.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/qt/fake_desktop_bus.h"

namespace ok {
namespace {

class DesktopBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!desktop_.Available()) GTEST_SKIP() << "dbus-daemon is not installed";
  }
  TDesktopBus Client() {
    return TDesktopBus(desktop_.Client(), desktop_.Client(), QStringLiteral("ostrelkalvexa"));
  }

  test::TFakeDesktop desktop_;
  test::TFakeServices& services_ = desktop_.Services();
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
  test::TPrivateBus empty;
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
