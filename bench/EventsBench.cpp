// The events file on a table of 10,000 items: loading it into the window's grid,
// saving it, and the window's start-up with that file until it is on the screen (within
// a running process; StartUpBench times whole processes against a bare Qt window).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <fstream>
#include <memory>

#include "ManyItems.h"
#include "QSStringGrid.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "events/eventsFile.h"
#include "window/formMain.h"

namespace {

struct Fixture {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  ScriptedDialogs dialogs;
  std::string path = files.File("QSEvents.C-D");
  Fixture() { std::ofstream(path, std::ios::binary) << ManyItems(); }
};

// Shows the window and returns once the display has mapped it (at most two seconds).
void ShowUntilViewable(QWidget& window) {
  window.show();
  QElapsedTimer waited;
  waited.start();
  while (!(window.windowHandle() && window.windowHandle()->isExposed()) &&
         waited.elapsed() < 2000) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  QApplication::processEvents();
}

void BM_StartUpWithTenThousandItems(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    auto window = std::make_unique<TfrmMain>(f.dialogs, MainWindowOptions{f.path});
    ShowUntilViewable(*window);
    benchmark::DoNotOptimize(window->grdEvents->RowCount());
    state.PauseTiming();  // closing is not starting
    window.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartUpWithTenThousandItems)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5);

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
    events_file::FieldLines lines;
    events_file::ReadFields(f.path, lines);
    window.LoadEventLines(lines, marker);
    benchmark::DoNotOptimize(window.grdEvents->RowCount());
  }
}
BENCHMARK(BM_LoadTenThousandItems)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5);

void BM_SaveTenThousandItems(benchmark::State& state) {
  Fixture f;
  TfrmMain window(f.dialogs, MainWindowOptions{f.path});
  for (auto _ : state) {
    window.SaveEvents();
  }
}
BENCHMARK(BM_SaveTenThousandItems)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
