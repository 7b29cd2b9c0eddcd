// One pass of the supervisor's loop (its 100 ms pause aside) with 100 workers that have
// finished and are freed by the pass, and 100 that are still running.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "DateTime.h"
#include "workers/classQSBGProcess.h"
#include "workers/classQSEmail.h"
#include "workers/classQSMSMessenger.h"

namespace {

class BenchSupervisor : public thrBGProcess {
 public:
  using thrBGProcess::RunPass;
};

// A worker that runs until the benchmark lets it go.
template <typename Base>
class Parked : public Base {
 public:
  explicit Parked(const std::atomic<bool>& release) : release_(release) {}
  ~Parked() override { this->TerminateAndWait(); }

 protected:
  void Execute() override {
    while (!release_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    this->bRunning_m = false;
  }

 private:
  const std::atomic<bool>& release_;
};

// A worker whose body has already ended when the pass sees it.
template <typename Base>
std::unique_ptr<Base> Finished() {
  struct Done : Base {
    ~Done() override { this->TerminateAndWait(); }
    void Execute() override { this->bRunning_m = false; }
  };
  auto worker = std::make_unique<Done>();
  worker->Resume();
  while (!worker->Finished()) {
    std::this_thread::yield();
  }
  return worker;
}

void Pass(benchmark::State& state) {
  const int finishedEach = static_cast<int>(state.range(0)) / 2;
  BenchSupervisor supervisor;  // never resumed: the benchmark drives its passes
  supervisor.iPollIntervalSecs_m = 3600;
  supervisor.dtLastPoll_m = Platform::Now();
  std::atomic<bool> release{false};
  for (int i = 0; i < 50; ++i) {
    supervisor.AddMessenger(std::make_unique<Parked<thrQSMSMessenger>>(release));
    supervisor.AddEmail(std::make_unique<Parked<thrQSEmail>>(release));
  }
  supervisor.RunPass();  // starts the running ones
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < finishedEach; ++i) {
      supervisor.AddMessenger(Finished<thrQSMSMessenger>());
      supervisor.AddEmail(Finished<thrQSEmail>());
    }
    // As in the program, where a pass comes 100 ms later: their threads are gone by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    state.ResumeTiming();
    supervisor.RunPass();
  }
  release = true;
}

// For comparison: what the thread library alone takes to join 100 threads that have ended,
// which freeing a finished worker includes.
void JoinEndedThreads(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::thread> ended;
    for (int i = 0; i < 100; ++i) {
      ended.emplace_back([] {});
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    state.ResumeTiming();
    for (std::thread& thread : ended) {
      thread.join();
    }
  }
}

}  // namespace

// Argument: finished workers in the lists beside the 100 running ones.
BENCHMARK(Pass)
    ->Arg(100)
    ->Arg(0)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(300)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(JoinEndedThreads)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(100)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK_MAIN();
