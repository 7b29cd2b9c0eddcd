// One scheduler pass over 10,000 armed items none of which is due, as the window runs it
// every five seconds on the UI thread (target: at most 5 ms); and the window's own pass
// over 10,000 items that notifies one of them, with and without the save that keeps the
// mark on disk.
// Run by hand: QT_QPA_PLATFORM=offscreen ./SchedulerBench --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "DateTime.h"
#include "QSStringGrid.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "events/eventScheduler.h"
#include "events/eventTable.h"
#include "window/formMain.h"
#include "window/gridEventRows.h"

namespace {

constexpr int kItems = 10000;

// Channels that must never be reached: no item is due.
class NoChannels : public event_scheduler::ChannelDispatch {
 public:
  bool WaitForSupervisor() override { return Unexpected(); }
  void PlaySound() override { Unexpected(); }
  void SendMessenger(const std::string&) override { Unexpected(); }
  void SendEmail(const std::string&) override { Unexpected(); }
  std::string CustomAppTemplate() override { return ""; }
  void Launch(const std::string&) override { Unexpected(); }
  void ShowMessage(const std::string&) override { Unexpected(); }
  void ShowLastCheck(const std::string& text) override { benchmark::DoNotOptimize(text.data()); }

 private:
  static bool Unexpected() {
    std::fprintf(stderr, "an item was dispatched\n");
    std::abort();
  }
};

void BM_PassOverArmedItemsNoneDue(benchmark::State& state) {
  // A catalogue of zones about the size the system's database gives.
  std::map<std::string, double> zones;
  for (int i = 0; i < 400; ++i) {
    zones["Zone/" + std::to_string(i)] = (i % 27) - 12;
  }
  TQSStringGrid grid;
  grid.SetColCount(9);
  grid.SetRowCount(kItems + 2);
  grid.SetFixedRows(1);
  grid.HideRow(kItems + 1);
  std::mt19937 random(7);
  const auto pick = [&random](unsigned n) { return static_cast<unsigned>(random() % n); };
  char end[32];
  for (int r = 1; r <= kItems; ++r) {
    // Every end time lies in the year after the pass, in one of the catalogue's zones.
    std::snprintf(end, sizeof end, "2031-%02u-%02u %02u:%02u:%02u", 1 + pick(12), 1 + pick(28),
                  pick(24), pick(60), pick(60));
    grid.SetCells(event_table::kColEndTime, r, end);
    grid.SetCells(event_table::kColZone, r, "Zone/" + std::to_string(pick(400)));
    grid.SetCells(event_table::kColWarnMinutes, r, std::to_string(pick(120)));
    for (int c = event_table::kColSound; c <= event_table::kColCustomApp; ++c) {
      grid.SetCells(c, r, pick(2) ? "Y" : "N");
    }
    grid.SetObjects(event_table::kColEndTime, r, event_table::kStateArmed);
  }
  const Platform::TDateTime now = Platform::EncodeDateTime(2030, 6, 1, 12, 0, 0, 0);
  NoChannels channels;
  GridEventRows rows(grid);
  for (auto _ : state) {
    event_scheduler::RunPass(rows, now, zones, 1.0, channels);
  }
}
BENCHMARK(BM_PassOverArmedItemsNoneDue)->Unit(benchmark::kMillisecond);

// The window's pass over 10,000 armed items, one of which is due each time: it has only
// the custom-application channel, with no program set, so notifying it is marking it.
// Argument 1: "Save events on close" is checked and the pass saves the events file.
void BM_WindowPassNotifyingOne(benchmark::State& state) {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  ScriptedDialogs dialogs;
  const std::string path = files.File("QSEvents.C-D");
  {
    std::ofstream file(path, std::ios::binary);
    file << "0|0|Due each pass|0|2006-05-01 12:00:00|1|Coordinated Universal Time|0|10|0|N|0|N|0|"
            "N|0|Y|0|\r\n";
    for (int i = 1; i < kItems; ++i) {
      file << i << "|0|Item number " << i << "|0|2031-06-01 14:00:00|1|Coordinated Universal Time|"
           << "0|10|0|Y|0|N|0|Y|0|N|0|\r\n";
    }
  }
  MainWindowOptions options{path};
  options.deliveryLogPath = files.File("delivery.log");
  TfrmMain window(dialogs, options);
  window.edtLaunchApp->clear();
  window.chkSaveOnClose->setChecked(state.range(0) != 0);
  const int due = window.grdEvents->FixedRows();
  for (auto _ : state) {
    state.PauseTiming();
    window.grdEvents->SetObjects(event_table::kColEndTime, due, event_table::kStateArmed);
    state.ResumeTiming();
    window.tmrEventsTimer();
  }
  if (window.grdEvents->GetObjects(event_table::kColEndTime, due) != event_table::kStateNotified ||
      !dialogs.calls.empty()) {
    state.SkipWithError("the item was not notified, or a message was shown");
  }
}
BENCHMARK(BM_WindowPassNotifyingOne)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
