// Reading back the last run's outcomes from a full delivery log (1 MiB and its older
// file of 1 MiB, the most the log keeps): the work start-up hands to a thread of its own.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "delivery/deliveryLog.h"
#include "delivery/deliveryOutcome.h"

namespace {

constexpr std::uintmax_t kFileBytes = 1 << 20;

// A log of dispatches to many items, each with its sound, worker lines and outcome.
std::string FullLog() {
  static const std::string path = [] {
    const std::string folder =
        (std::filesystem::temp_directory_path() / "vazudovu-delivery-log-bench").string();
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/delivery.log";
    for (const std::string& name : {file + ".1", file}) {
      std::ofstream out(name, std::ios::trunc);
      std::uintmax_t written = 0;
      for (int item = 0; written < kFileBytes - 512; ++item) {
        const std::string id = std::to_string(item);
        const std::string t = "2026-12-09 10:00:00\t" + id + "\t";
        const std::string lines =
            t + "scheduler\tDispatching: Your scheduled item is about to elapse, ItemID: " + id +
            " Description: Dentist ending at: 2026-12-09 11:00:00 Etc/UTC\n" + t +
            "sound\t/home/me/sounds/ding.wav started\n" + t +
            "e-mail\tSending to: bob@example.test\n" + t +
            "e-mail\tAttempting to Send an Email to : bob@example.test asSMTPServer_m: mail\n" + t +
            "e-mail\tEmail notification FAILED to: bob@example.test with msg: 550\n" + t +
            "e-mail\tFAILED: 550 5.1.1 mailbox unavailable\n";
        out << lines;
        written += lines.size();
      }
    }
    return file;
  }();
  return path;
}

void BM_ReadFullLogsLatestDispatches(benchmark::State& state) {
  const std::string path = FullLog();
  std::size_t items = 0;
  for (auto _ : state) {
    const auto latest = delivery::LatestDispatches(delivery::ReadTail(path, kFileBytes));
    items = latest.size();
    benchmark::DoNotOptimize(items);
  }
  state.counters["items"] = static_cast<double>(items);
}
BENCHMARK(BM_ReadFullLogsLatestDispatches)->Unit(benchmark::kMillisecond);

// What start-up itself spends: starting the thread at the window's making, and taking
// its result after the events are loaded (here at once, so the whole read is waited for).
void BM_StartAndTakeAtOnce(benchmark::State& state) {
  const std::string path = FullLog();
  for (auto _ : state) {
    delivery::DispatchesAhead ahead(path, kFileBytes);
    benchmark::DoNotOptimize(ahead.Take());
  }
}
BENCHMARK(BM_StartAndTakeAtOnce)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
