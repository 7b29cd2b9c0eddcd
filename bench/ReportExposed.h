// For StartUpBench's children: once the window has been exposed on the display and its
// first frame painted, print two moments (steady clock, nanoseconds) and end at once,
// without closing anything: when the display first reported the window viewable (its
// first Expose event; the painted moment where the display is not X11) and when the
// first frame was painted.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QByteArray>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace report_exposed {

inline long long SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Notes when the first X11 Expose event reaches the application.
class FirstExpose : public QAbstractNativeEventFilter {
 public:
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    constexpr std::uint8_t kExpose = 12;  // the event's code; the top bit marks a sent one
    if (at == 0 && type == "xcb_generic_event_t" &&
        (*static_cast<const std::uint8_t*>(message) & 0x7f) == kExpose) {
      at = SteadyNs();
    }
    return false;
  }
  long long at = 0;
};

}  // namespace report_exposed

// Called right after show(): the window's events are handled only from here on.
[[noreturn]] inline void ReportWhenExposed(QWidget& window) {
  report_exposed::FirstExpose expose;
  QApplication::instance()->installNativeEventFilter(&expose);
  while (!(window.windowHandle() && window.windowHandle()->isExposed())) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  const long long painted = report_exposed::SteadyNs();
  std::printf("%lld %lld\n", expose.at != 0 ? expose.at : painted, painted);
  std::fflush(stdout);
  std::_Exit(0);
}
