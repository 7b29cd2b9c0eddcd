// Reading back the last run's outcomes from a full delivery log (1 MiB and its older
// file of 1 MiB, the most the log keeps): the work start-up hands to a thread of its own,
// and the window's start-up with 10,000 items with that log and without one.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "ManyItems.h"
#include "QSStringGrid.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "delivery/deliveryLog.h"
#include "delivery/deliveryOutcome.h"
#include "window/formMain.h"

namespace {

constexpr std::uintmax_t kFileBytes = 1 << 20;

// Fills the log at path and its older file with dispatches of the items of ManyItems(),
// each with its sound, a mail worker's lines and its failure.
void WriteFullLog(const std::string& path) {
  int item = 0;
  for (const std::string& name : {path + ".1", path}) {
    std::ofstream out(name, std::ios::trunc);
    for (std::uintmax_t written = 0; written < kFileBytes - 512; ++item) {
      const std::string id = std::to_string(item % kItems);
      const std::string t = "2026-12-09 13:50:00\t" + id + "\t";
      const std::string lines =
          t + "scheduler\tDispatching: Your scheduled item is about to elapse, ItemID: " + id +
          " Description: Item number " + id +
          " ending at: 2026-12-09 14:00:00 Coordinated Universal Time\n" + t +
          "sound\t/home/me/sounds/ding.wav started\n" + t +
          "e-mail\tSending to: bob@example.test\n" + t +
          "e-mail\tAttempting to Send an Email to : bob@example.test asSMTPServer_m: mail\n" + t +
          "e-mail\tEmail notification FAILED to: bob@example.test with msg: 550\n" + t +
          "e-mail\tFAILED: 550 5.1.1 mailbox unavailable\n";
      out << lines;
      written += lines.size();
    }
  }
}

struct Fixture {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  ScriptedDialogs dialogs;
  std::string events = files.File("QSEvents.C-D");
  std::string log = files.File("state/delivery.log");
  Fixture() {
    std::ofstream(events, std::ios::binary) << ManyItems();
    std::filesystem::create_directories(files.File("state"));
    WriteFullLog(log);
  }
};

void BM_ReadFullLogsLatestDispatches(benchmark::State& state) {
  Fixture f;
  std::size_t items = 0;
  for (auto _ : state) {
    const auto latest = delivery::LatestDispatches(delivery::ReadTail(f.log, kFileBytes));
    items = latest.size();
    benchmark::DoNotOptimize(items);
  }
  state.counters["items"] = static_cast<double>(items);
}
BENCHMARK(BM_ReadFullLogsLatestDispatches)->Unit(benchmark::kMillisecond);

// The window made with 10,000 items, half of them notified: with the full log (arg 1),
// whose failures it restores, and with none (arg 0).
void BM_WindowStartUpWithTheLog(benchmark::State& state) {
  Fixture f;
  MainWindowOptions options{f.events};
  options.deliveryLogPath = state.range(0) != 0 ? f.log : f.files.File("none/delivery.log");
  bool failed = false;
  for (auto _ : state) {
    auto window = std::make_unique<TfrmMain>(f.dialogs, options);
    failed = window->RowDeliveryFailed(2);
    benchmark::DoNotOptimize(failed);
    state.PauseTiming();  // closing is not starting
    window.reset();
    state.ResumeTiming();
  }
  state.counters["restored"] = failed ? 1 : 0;
}
BENCHMARK(BM_WindowStartUpWithTheLog)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3);

}  // namespace
