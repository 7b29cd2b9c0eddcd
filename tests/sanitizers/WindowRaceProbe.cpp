// A deliberate race between a worker thread and a handler run by the window's event loop.
// Built only under ThreadSanitizer, whose report of this race is what the test checks: if
// the report ever stops coming, the sanitizer setup has gone blind to the window's thread.
#include <QCoreApplication>
#include <QTimer>
#include <thread>

namespace {
int shared = 0;  // written by both threads without a lock, on purpose
}

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  std::thread worker([] {
    for (int i = 0; i < 1000; ++i) {
      shared = shared + 1;
    }
  });
  QTimer::singleShot(0, &app, [&] {
    for (int i = 0; i < 1000; ++i) {
      shared = shared + 1;
    }
    worker.join();
    app.quit();
  });
  return app.exec() == 0 && shared > 0 ? 0 : 1;
}
