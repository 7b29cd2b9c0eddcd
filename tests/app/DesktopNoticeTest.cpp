// Desktop notices against a notification service of the test's own on a private
// session bus (dbus-daemon, started here), and the fallback when the bus has none.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QTest>
#include <QVariantMap>
#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "TestDependency.h"
#include "desktop/desktopNotifier.h"

extern char** environ;

namespace {

// A private session bus for one test; Address() is empty when dbus-daemon is missing.
// Its configuration is the test's own: with the system's session configuration the bus
// would list every service the machine can start (a desktop's notification daemon
// among them), so "no service on the bus" could not be tested there.
class PrivateBus {
 public:
  PrivateBus() {
    if (!std::filesystem::exists("/usr/bin/dbus-daemon")) {
      return;
    }
    const std::string config = folder_.File("bus.conf");
    std::ofstream(config)
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:dir="
        << folder_.Path()
        << "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
    const std::string configArg = "--config-file=" + config;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const char* argv[] = {"dbus-daemon", configArg.c_str(),   "--nofork",
                          "--nopidfile", "--print-address=1", nullptr};
    if (posix_spawn(&pid_, "/usr/bin/dbus-daemon", &actions, nullptr,
                    const_cast<char* const*>(argv), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char c = 0;
    while (pid_ > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') {
      address_ += c;
    }
    ::close(out[0]);
  }
  ~PrivateBus() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Address() const { return address_; }

 private:
  testsupport::TempDir folder_;  // the configuration and the bus's socket
  pid_t pid_ = -1;
  std::string address_;
};

}  // namespace

// The freedesktop notification service, as far as the program uses it.
class FakeNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  QStringList shown;
  QList<QStringList> actions;  // what each notice offered

 public slots:
  uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
              const QStringList& offered, const QVariantMap&, int) {
    shown << app + " | " + summary + " | " + body;
    actions << offered;
    return static_cast<uint>(shown.size());
  }
};

TEST(DesktopNotices, GoToTheBusServiceElseToTheFallbackElseNowhere) {
  PrivateBus bus;
  REQUIRE_TEST_DEPENDENCY(!bus.Address().empty(),
                          "dbus-daemon (Debian package dbus) is not installed");
  const QString address = QString::fromStdString(bus.Address());
  QDBusConnection service = QDBusConnection::connectToBus(address, "notice-service");
  QDBusConnection program = QDBusConnection::connectToBus(address, "notice-program");
  ASSERT_TRUE(service.isConnected() && program.isConnected());

  delivery::DesktopNotifier notifier(program);
  QStringList fallback;
  bool trayShown = true;
  notifier.fallback = [&](const std::string& summary, const std::string& body) {
    if (trayShown) {
      fallback << QString::fromStdString(summary + " | " + body);
    }
    return trayShown;
  };

  FakeNotifications fake;
  ASSERT_TRUE(service.registerObject("/org/freedesktop/Notifications", &fake,
                                     QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(service.registerService("org.freedesktop.Notifications"));
  EXPECT_EQ(notifier.Notify("Reminder not delivered", "Item 42: e-mail to bob failed: refused"),
            delivery::DesktopNotifier::Way::Bus);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fake.shown.isEmpty(); }, 5000));
  EXPECT_EQ(
      fake.shown,
      QStringList{"Vazudovu | Reminder not delivered | Item 42: e-mail to bob failed: refused"});
  EXPECT_TRUE(fallback.isEmpty());

  // Markup in an item's text or a server's reply reaches the service as text, not as a
  // link or a picture.
  EXPECT_EQ(notifier.Notify("<b>R&D</b>", "Item <a href=\"http://x/\">1</a>: 550 <img src=x> & co"),
            delivery::DesktopNotifier::Way::Bus);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fake.shown.size() == 2; }, 5000));
  EXPECT_EQ(fake.shown[1],
            "Vazudovu | &lt;b&gt;R&amp;D&lt;/b&gt; | Item &lt;a href=\"http://x/\"&gt;1&lt;/a&gt;: "
            "550 &lt;img src=x&gt; &amp; co");
  fake.shown.removeLast();

  service.unregisterService("org.freedesktop.Notifications");
  EXPECT_EQ(notifier.Notify("Reminder due", "Your scheduled item"),
            delivery::DesktopNotifier::Way::Fallback);
  EXPECT_EQ(fallback, QStringList{"Reminder due | Your scheduled item"});
  notifier.Notify("Reminder due", "<a href=x>R&D</a>");  // the tray shows plain text
  EXPECT_EQ(fallback.last(), "Reminder due | <a href=x>R&D</a>");
  trayShown = false;
  EXPECT_EQ(notifier.Notify("Reminder due", "again"), delivery::DesktopNotifier::Way::None);
  EXPECT_EQ(fake.shown.size(), 1);

  QDBusConnection::disconnectFromBus("notice-service");
  QDBusConnection::disconnectFromBus("notice-program");
}

TEST(DesktopNotices, ADueNoticeOffersSnoozeAndOpenAndReportsTheChoiceWithItsItem) {
  PrivateBus bus;
  REQUIRE_TEST_DEPENDENCY(!bus.Address().empty(),
                          "dbus-daemon (Debian package dbus) is not installed");
  const QString address = QString::fromStdString(bus.Address());
  QDBusConnection service = QDBusConnection::connectToBus(address, "action-service");
  QDBusConnection program = QDBusConnection::connectToBus(address, "action-program");
  ASSERT_TRUE(service.isConnected() && program.isConnected());
  FakeNotifications fake;
  ASSERT_TRUE(service.registerObject("/org/freedesktop/Notifications", &fake,
                                     QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(service.registerService("org.freedesktop.Notifications"));

  std::vector<std::string> chosen;
  {
    delivery::DesktopNotifier notifier(program);
    notifier.onAction = [&](const std::string& item, const std::string& action) {
      chosen.push_back(item + " " + action);
    };
    EXPECT_EQ(notifier.NotifyDue("7", "Reminder due", "Item 7"),
              delivery::DesktopNotifier::Way::Bus);
    EXPECT_EQ(notifier.NotifyDue("8", "Reminder due", "Item 8"),
              delivery::DesktopNotifier::Way::Bus);
    notifier.Notify("Reminder not delivered", "Item 9");  // a failure offers nothing
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.shown.size() == 3; }, 5000));
    EXPECT_TRUE(fake.actions[0].contains("snooze") && fake.actions[0].contains("Snooze"));
    EXPECT_TRUE(fake.actions[2].isEmpty());
    // The service numbered the notices 1, 2 and 3; the user snoozes the second and opens
    // the first by clicking it; a choice on a notice of nobody's, or a second one, is
    // ignored.
    const auto invoke = [&](uint id, const QString& key) {
      QDBusMessage message = QDBusMessage::createSignal(
          "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
      message << id << key;
      service.send(message);
    };
    QTest::qWait(100);  // the numbers' replies reach the program first
    invoke(2, "snooze");
    invoke(1, "default");
    invoke(3, "snooze");
    invoke(2, "open");
    ASSERT_TRUE(QTest::qWaitFor([&] { return chosen.size() >= 2; }, 5000));
    QTest::qWait(200);
    EXPECT_EQ(chosen, (std::vector<std::string>{"8 snooze", "7 open"}));
  }
  QDBusConnection::disconnectFromBus("action-service");
  QDBusConnection::disconnectFromBus("action-program");
}

#include "DesktopNoticeTest.moc"
