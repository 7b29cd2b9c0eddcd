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

// The handler may only write a byte; the event loop does the rest.
int wakeFds[2] = {-1, -1};

void OnEndSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(wakeFds[0], &byte, 1);
}

}  // namespace

EndSignals::EndSignals(QWidget* window) : window_(window) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0) {
    return;
  }
  notifier_ = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, this);
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
  if (wakeFds[0] >= 0) {
    ::close(wakeFds[0]);
    ::close(wakeFds[1]);
    wakeFds[0] = wakeFds[1] = -1;
  }
}

void EndSignals::Arrived() {
  char buffer[64];
  while (::read(wakeFds[1], buffer, sizeof buffer) > 0) {
  }
  window_->close();
  // A hidden window (tray mode) still has to end the program.
  QCoreApplication::quit();
}
