// For StartUpBench's children: once the window has been exposed on the display, print the
// moment (steady clock, nanoseconds) and end at once, without closing anything.
#pragma once

#include <QApplication>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void ReportWhenExposed(QWidget& window) {
  while (!(window.windowHandle() && window.windowHandle()->isExposed())) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  std::printf("%lld\n", static_cast<long long>(
                            std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
  std::fflush(stdout);
  std::_Exit(0);
}
