// The bare Qt Widgets window StartUpBench compares the program's start-up with: an empty
// main window, linked with Qt Widgets only. Prints the moment it was first exposed
// (steady clock, nanoseconds) and ends at once.
#include <QApplication>
#include <QMainWindow>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.resize(400, 300);
  window.show();
  while (!(window.windowHandle() && window.windowHandle()->isExposed())) {
    app.processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  std::printf("%lld\n", static_cast<long long>(
                            std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
  std::fflush(stdout);
  std::_Exit(0);
}
