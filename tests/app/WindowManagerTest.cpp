// The window's place under a real X server with a window manager, which frames the
// window as a desktop does (offscreen there is no frame at all). The test starts Xvfb on a
// display it picks itself and openbox on it, and skips when Xvfb cannot start.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CommonCodeLite.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "TestDependency.h"
#include "settings/settingsKeys.h"
#include "window/formMain.h"

extern char** environ;

namespace {

using VIDodadaZadoVove::Variant;

// A child process started without a shell, ended and reaped with the guard.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  // Starts argv[0] from PATH; keepFd stays open in the child. False when it cannot start.
  bool Start(std::vector<std::string> args, int keepFd = -1) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    posix_spawn_file_actions_adddup2(&actions, devNull, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, devNull, STDERR_FILENO);
    if (keepFd >= 0) {
      posix_spawn_file_actions_adddup2(&actions, keepFd, keepFd);  // clears close-on-exec
    }
    const int rc = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(devNull);
    if (rc != 0) {
      pid_ = -1;
    }
    return rc == 0;
  }

 private:
  pid_t pid_ = -1;
};

// Xvfb on a free display, with openbox managing it; Display() is empty when either failed.
class FramedDesktop {
 public:
  FramedDesktop() {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
      return;
    }
    // Xvfb picks a free display itself and writes its number once it accepts clients.
    const bool started = xvfb_.Start({"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen",
                                      "0", "1280x1024x24", "-nolisten", "tcp"},
                                     pipeFds[1]);
    ::close(pipeFds[1]);
    std::string number;
    pollfd wait{pipeFds[0], POLLIN, 0};
    while (started && ::poll(&wait, 1, 10000) == 1) {
      char c = 0;
      if (::read(pipeFds[0], &c, 1) != 1 || c == '\n') {
        break;
      }
      number += c;
    }
    ::close(pipeFds[0]);
    if (number.empty()) {
      return;
    }
    // openbox runs its start-up command once it manages the screen.
    const std::string ready = dir_.File("openbox-ready");
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    if (!openbox_.Start({"openbox", "--sm-disable", "--startup", "touch " + ready})) {
      return;
    }
    for (int i = 0; i < 200 && !std::filesystem::exists(ready); ++i) {
      ::usleep(50 * 1000);
    }
    if (std::filesystem::exists(ready)) {
      display_ = ":" + number;
    }
  }
  const std::string& Display() const { return display_; }

 private:
  testsupport::TempDir dir_;
  Child xvfb_;
  Child openbox_;
  std::string display_;
};

void Store(const char* name, int value) {
  VIDodadaZadoVove::WriteToRegistry(VIDodadaZadoVove::HKEY_CURRENT_USER, kSettingsKey, name,
                                    Variant(static_cast<std::int32_t>(value)), true, "");
}

int Stored(const char* name) {
  return VIDodadaZadoVove::ReadFromRegistry(VIDodadaZadoVove::HKEY_CURRENT_USER, kSettingsKey, name,
                                            3, true, "")
      .AsInt();
}

// Shows the window and waits until the window manager has framed it: the frame arrives
// with its reparenting, after the exposure.
bool ShowFramed(QWidget& window) {
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) {
    return false;
  }
  const auto framed = [&] { return !window.windowHandle()->frameMargins().isNull(); };
  for (int i = 0; i < 200 && !framed(); ++i) {
    QTest::qWait(50);
  }
  return framed();
}

}  // namespace

TEST(UnderAWindowManager, StartAndCloseCyclesLeaveThePlaceAndSizeAsTheyWere) {
  FramedDesktop desktop;
  REQUIRE_TEST_DEPENDENCY(!desktop.Display().empty(),
                          "Xvfb or openbox could not start here (both are Debian packages: xvfb, "
                          "openbox); the window's place under a window manager is not checked");
  qputenv("QT_QPA_PLATFORM", "xcb");
  // No session bus for this display: without an address, D-Bus would start one by forking
  // while the window's start-up threads allocate, and AddressSanitizer's allocator leaves
  // such a child waiting forever on a lock another thread held at the fork.
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vazudovu-test-bus");
  int argc = 1;
  char name[] = "WindowManagerTests";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);

  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  Store("Left", 200);
  Store("Top", 190);
  Store("Width", 760);
  Store("Height", 420);
  for (int cycle = 1; cycle <= 4; ++cycle) {
    ScriptedDialogs dialogs;
    {
      TfrmMain window(dialogs, MainWindowOptions{files.File("QSEvents.C-D")});
      ASSERT_TRUE(ShowFramed(window)) << "openbox framed no window";
      window.close();
    }
    EXPECT_EQ(Stored("Left"), 200) << "cycle " << cycle;
    EXPECT_EQ(Stored("Top"), 190) << "cycle " << cycle;
    EXPECT_EQ(Stored("Width"), 760) << "cycle " << cycle;
    EXPECT_EQ(Stored("Height"), 420) << "cycle " << cycle;
  }

  // A stored size larger than the screen, at its top left: the frame's top, the title bar
  // the user moves the window by, ends on the screen, and so does the place stored.
  Store("Left", 0);
  Store("Top", 0);
  Store("Width", 5000);
  Store("Height", 5000);
  for (int cycle = 1; cycle <= 2; ++cycle) {
    ScriptedDialogs dialogs;
    TfrmMain window(dialogs, MainWindowOptions{files.File("QSEvents.C-D")});
    ASSERT_TRUE(ShowFramed(window)) << "openbox framed no window";
    const QRect screen = window.screen()->availableGeometry();
    const auto frameOnScreen = [&] {
      return window.frameGeometry().top() >= screen.top() &&
             window.frameGeometry().bottom() <= screen.bottom();
    };
    for (int i = 0; i < 40 && !frameOnScreen(); ++i) {
      QTest::qWait(50);
    }
    EXPECT_GE(window.frameGeometry().top(), screen.top()) << "cycle " << cycle;
    EXPECT_LE(window.frameGeometry().bottom(), screen.bottom()) << "cycle " << cycle;
    window.close();
    EXPECT_GT(Stored("Top"), screen.top()) << "cycle " << cycle << ": below the title bar";
  }
}
