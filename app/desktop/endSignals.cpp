#include "desktop/endSignals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>

namespace {

// The handler may only write a byte; the event loop does the rest. The write end is
// owned by EndSignals; this copy is all the handler may touch.
volatile sig_atomic_t wakeFd = -1;

void OnEndSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(wakeFd, &byte, 1);
}

}  // namespace

EndSignals::EndSignals(QWidget* window) : window_(window) {
  int ends[2] = {-1, -1};
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) {
    return;
  }
  wakeWrite_.reset(ends[0]);
  wakeRead_.reset(ends[1]);
  wakeFd = wakeWrite_.get();
  notifier_ = new QSocketNotifier(wakeRead_.get(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &EndSignals::Arrived);
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    sigaction(sig, &action, nullptr);
  }
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    connect(app, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { window_->close(); });
  }
}

EndSignals::~EndSignals() {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    std::signal(sig, SIG_DFL);
  }
  wakeFd = -1;
  delete notifier_;  // before its descriptor closes
}

void EndSignals::Arrived() {
  char buffer[64];
  while (::read(wakeRead_.get(), buffer, sizeof buffer) > 0) {
  }
  window_->close();
  // A hidden window (tray mode) still has to end the program.
  QCoreApplication::quit();
}
