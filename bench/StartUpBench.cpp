// Start-up of a whole process to a window on the screen: the program with an events file
// of 10,000 items (ProgramWindow, the program's own entry) beside a bare Qt Widgets window
// (BareWindow), both beside this program and measured in the same run. Each iteration
// starts a child that shows its window and ends once its first frame is painted. The time
// counted is from just before the child was started to that frame; the counter
// "viewable_ms" is the mean time to the display's first report that the window is
// viewable (its first Expose event, under X11), before anything was painted.
// Run it on the display to be compared (QT_QPA_PLATFORM, DISPLAY).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QtGlobal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ManyItems.h"
#include "TempDir.h"

namespace {

std::int64_t MonotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct Moments {
  double viewable = -1;  // seconds from the start of the child; negative: none reported
  double painted = -1;
};

Moments TimeChild(const std::string& program, const std::vector<std::string>& args) {
  int out[2];
  if (pipe(out) != 0) {
    return {};
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  const std::int64_t start = MonotonicNs();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  char buffer[64];
  ssize_t n = 0;
  while (spawned == 0 && (n = read(out[0], buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  int status = 0;
  if (spawned == 0) {
    waitpid(pid, &status, 0);
  }
  long long viewable = 0;
  long long painted = 0;
  if (std::sscanf(text.c_str(), "%lld %lld", &viewable, &painted) != 2) {
    return {};
  }
  return {static_cast<double>(viewable - start) / 1e9, static_cast<double>(painted - start) / 1e9};
}

void Run(benchmark::State& state, const std::string& program,
         const std::vector<std::string>& args) {
  double viewableMs = 0;
  for (auto _ : state) {
    const Moments moments = TimeChild(program, args);
    if (moments.painted < 0) {
      state.SkipWithError("the child showed no window");
      break;
    }
    state.SetIterationTime(moments.painted);
    viewableMs += moments.viewable * 1e3;
  }
  state.counters["viewable_ms"] =
      benchmark::Counter(viewableMs, benchmark::Counter::kAvgIterations);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  testsupport::ScopedRegistryDir registry;  // inherited by the children
  testsupport::TempDir files;
  const std::string path = files.File("QSEvents.C-D");
  std::ofstream(path, std::ios::binary) << ManyItems();
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::filesystem::path folder = std::filesystem::path(self).parent_path();
  const std::string bare = (folder / "BareWindow").string();
  const std::string program = (folder / "ProgramWindow").string();
  benchmark::RegisterBenchmark("BM_ProcessToBareWindow",
                               [&](benchmark::State& s) { Run(s, bare, {bare}); })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(5)
      ->Repetitions(5);
  benchmark::RegisterBenchmark("BM_ProcessToWindowWithTenThousandItems",
                               [&](benchmark::State& s) {
                                 Run(s, program, {program, "--events-file", path});
                               })
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(5)
      ->Repetitions(5);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
