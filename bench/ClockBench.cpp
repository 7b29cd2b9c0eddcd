// The zone catalogue as start-up builds it from this machine's whole zone database, and
// one tick of the clocks: the usual one that finds the second unchanged, and one that
// writes new texts.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <QTimer>

#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "time/clockDisplay.h"
#include "time/timeZoneCatalogue.h"
#include "window/formMain.h"

namespace {

void BM_CatalogueBuild(benchmark::State& state) {
  testsupport::ScopedRegistryDir registry;  // an empty store: the platform's zones
  std::size_t zones = 0;
  for (auto _ : state) {
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    time_zones::ZoneMap map;
    time_zones::AddSystemZones(map, time_zones::SystemZones(now));
    time_zones::AddUserZones(map, time_zones::UserZones());
    time_zones::AddLocalZone(map, time_zones::SystemLocalZone(now));
    zones = map.size();
    benchmark::DoNotOptimize(zones);
  }
  state.counters["zones"] = static_cast<double>(zones);
}
BENCHMARK(BM_CatalogueBuild)->Unit(benchmark::kMillisecond)->Repetitions(10)->Iterations(1);

struct Window {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  ScriptedDialogs dialogs;
  TfrmMain window{dialogs, MainWindowOptions{files.File("QSEvents.C-D")}};
  Window() { window.tmrMainClock->stop(); }
};

// The timer's own handler, reading the clock: within a second it changes nothing.
void BM_ClockTickUnchanged(benchmark::State& state) {
  Window w;
  w.window.tmrMainClockTimer();
  for (auto _ : state) {
    w.window.tmrMainClockTimer();
  }
}
BENCHMARK(BM_ClockTickUnchanged)->Unit(benchmark::kMicrosecond)->Repetitions(10);

// A new second every tick: the zone difference, both clock texts and their labels.
void BM_ClockTickNewSecond(benchmark::State& state) {
  Window w;
  Platform::TDateTime at = Platform::Now();
  for (auto _ : state) {
    at += 1.0 / Platform::SecsPerDay;
    w.window.dVirtualTZOffset_m = w.window.dVirtualTZOffset_m == 0.0 ? 5.5 : 0.0;
    w.window.RefreshClocks(at, clocks::FileTimeFromDateTime(at));
  }
}
BENCHMARK(BM_ClockTickNewSecond)->Unit(benchmark::kMicrosecond)->Repetitions(10);

}  // namespace
