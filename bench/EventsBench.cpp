// The events file on a table of 10,000 items: loading it into the window's grid,
// saving it, and the whole start-up of the window with that file.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <fstream>
#include <memory>

#include "QSStringGrid.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "eventsFile.h"
#include "formMain.h"

namespace {

constexpr int kItems = 10000;

std::string ManyItems() {
  std::string bytes;
  for (int i = 0; i < kItems; ++i) {
    bytes += std::to_string(i) + "|0|Item number " + std::to_string(i) + "|0|2026-12-09 14:00:00|" +
             std::to_string(1 + i % 2) + "|Coordinated Universal Time|0|10|0|Y|0|N|0|Y|0|N|0|\r\n";
  }
  return bytes;
}

struct Fixture {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  ScriptedDialogs dialogs;
  std::string path = files.File("QSEvents.C-D");
  Fixture() { std::ofstream(path, std::ios::binary) << ManyItems(); }
};

void BM_StartUpWithTenThousandItems(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    TfrmMain window(f.dialogs, MainWindowOptions{f.path});
    window.show();
    QApplication::processEvents();
    benchmark::DoNotOptimize(window.grdEvents->RowCount());
  }
}
BENCHMARK(BM_StartUpWithTenThousandItems)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LoadTenThousandItems(benchmark::State& state) {
  Fixture f;
  // The window with an empty file, then the load step alone.
  const std::string empty = f.files.File("empty");
  TfrmMain window(f.dialogs, MainWindowOptions{empty});
  for (auto _ : state) {
    state.PauseTiming();
    window.grdEvents->SetRowCount(2);
    window.grdEvents->HideRow(1);
    state.ResumeTiming();
    std::string marker;
    window.LoadEventsFrom(f.path, marker);
    benchmark::DoNotOptimize(window.grdEvents->RowCount());
  }
}
BENCHMARK(BM_LoadTenThousandItems)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SaveTenThousandItems(benchmark::State& state) {
  Fixture f;
  TfrmMain window(f.dialogs, MainWindowOptions{f.path});
  for (auto _ : state) {
    window.SaveEvents();
  }
}
BENCHMARK(BM_SaveTenThousandItems)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
