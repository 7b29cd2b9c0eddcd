// How often the whole program wakes up while it sits idle for 30 seconds, with its window
// shown, with it hidden as the tray's close box hides it, and with it never shown, as a
// start with --hidden leaves it: the voluntary context switches of all the process's
// threads (getrusage sums them over every thread, ended ones included; /proc/self/task
// gives those of the threads still alive). Each switch is one time a thread went to sleep,
// so one wake-up. Run it on the display to be measured
// (QT_QPA_PLATFORM).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "window/formMain.h"

namespace {

constexpr int kSeconds = 30;

// Voluntary context switches of each thread alive now, by thread id.
std::map<std::string, long> SwitchesByThread() {
  std::map<std::string, long> counts;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
        counts[task.path().filename().string()] = std::stol(line.substr(line.find(':') + 1));
      }
    }
  }
  return counts;
}

// What the threads alive at the end did since `before` (a thread started meanwhile
// counts from zero).
long SwitchesSince(const std::map<std::string, long>& before) {
  long total = 0;
  for (const auto& [tid, count] : SwitchesByThread()) {
    const auto earlier = before.find(tid);
    total += count - (earlier == before.end() ? 0 : earlier->second);
  }
  return total;
}

// The whole process's count, threads that have ended included.
long ProcessSwitches() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_nvcsw;
}

void Idle(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

// How the window came to be idle: shown, hidden after being shown (the tray's close box),
// or never shown (started with --hidden in the tray, as at log-in).
enum class Start { Shown, HiddenAfterShow, StartedHidden };

void BM_WakeupsPerSecond(benchmark::State& state, Start start) {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  ScriptedDialogs dialogs;
  MainWindowOptions options{files.File("QSEvents.C-D")};
  options.supervisor.sntpPort = std::string{"9"};  // nothing answers there: queries fail at once
  TfrmMain window(dialogs, options);
  window.pBGProcess_m->SetSNTPServer("127.0.0.1");  // no name look-up, no network
  if (start != Start::StartedHidden) {
    window.show();
  }
  Idle(1000);  // start-up's own work settles
  if (start == Start::HiddenAfterShow) {
    window.hide();
    Idle(500);
  }
  for (auto _ : state) {
    const auto threadsBefore = SwitchesByThread();
    const long before = ProcessSwitches();
    Idle(kSeconds * 1000);  // the quit timer adds one wake-up
    const long after = ProcessSwitches();
    state.counters["wakeups_per_s"] = static_cast<double>(after - before) / kSeconds;
    state.counters["live_threads_per_s"] =
        static_cast<double>(SwitchesSince(threadsBefore)) / kSeconds;
  }
}
BENCHMARK_CAPTURE(BM_WakeupsPerSecond, shown, Start::Shown)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_WakeupsPerSecond, hidden, Start::HiddenAfterShow)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_WakeupsPerSecond, started_hidden, Start::StartedHidden)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
