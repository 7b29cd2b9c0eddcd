// A burst: 2,000 due items with the messenger channel, handed at once to the real
// supervisor, against a notification server, switchboard and Passport server that answer
// at once. Measured: how many were delivered, the time until the last worker ended, and
// the peaks of this process's threads, open descriptors and memory while they ran.
// The servers run in a child process, so that their threads and sockets are not counted.
// Goal: all delivered within 60 s, at most 64 threads, at most 150 MB resident.
// Run by hand (it takes minutes with the messenger's own waits):
//   ./BurstBench --benchmark_filter=Burst/32/0   (one bound per process: the memory peak is
//   the process's own since it began)
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "DateTime.h"
#include "MessengerTestServers.h"
#include "workers/classQSBGProcess.h"
#include "workers/classQSMSMessenger.h"
#include "workers/workerTag.h"

namespace {

constexpr int kItems = 2000;
constexpr auto kGiveUpAfter = std::chrono::minutes(20);

// A number from /proc/self/status ("Threads", "VmHWM" in kB), -1 when absent.
long StatusValue(const std::string& name) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(name + ":", 0) == 0) {
      return std::stol(line.substr(name.size() + 1));
    }
  }
  return -1;
}

int OpenDescriptors() {
  DIR* folder = ::opendir("/proc/self/fd");
  if (folder == nullptr) {
    return -1;
  }
  int count = 0;
  while (const dirent* entry = ::readdir(folder)) {
    count += entry->d_name[0] != '.' ? 1 : 0;
  }
  ::closedir(folder);
  return count - 1;  // the listing's own
}

// The servers in a child process; their ports come back through a pipe, and the child
// ends when the pipe to it closes.
struct ServerProcess {
  pid_t pid = -1;
  int toChild = -1;
  int msnPort = 0;
  int passportPort = 0;

  ServerProcess() {
    int ports[2], hold[2];
    if (::pipe(ports) != 0 || ::pipe(hold) != 0) {
      return;
    }
    pid = ::fork();
    if (pid == 0) {
      ::close(ports[0]);
      ::close(hold[1]);
      testsupport::ScriptedMsnServer msn;
      testsupport::FakePassportServer passport;
      const int sent[2] = {msn.Port(), passport.Ready() ? passport.Port() : 0};
      (void)!::write(ports[1], sent, sizeof sent);
      char byte;
      while (::read(hold[0], &byte, 1) > 0) {
      }
      ::_exit(0);  // the servers' threads go with the process
    }
    ::close(ports[1]);
    ::close(hold[0]);
    toChild = hold[1];
    int got[2] = {0, 0};
    if (pid > 0 && ::read(ports[0], got, sizeof got) == sizeof got) {
      msnPort = got[0];
      passportPort = got[1];
    }
    ::close(ports[0]);
  }
  ~ServerProcess() {
    ::close(toChild);
    if (pid > 0) {
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// The session's own waits shortened (the one-second polls, the five-second wait for a
// refusal of each message), to show what the supervisor and the servers alone allow.
msm::MessengerTimings ShortWaits() {
  msm::MessengerTimings t;
  t.pollMs = 100;
  t.ackWaitMs = 250;
  t.connectPauseMs = 100;
  t.retryPauseMs = 250;
  t.drainMs = 1000;
  return t;
}

void Burst(benchmark::State& state) {
  ServerProcess servers;  // before any thread of this process exists
  if (servers.msnPort <= 0 || servers.passportPort <= 0) {
    state.SkipWithError("the test servers did not start");
    return;
  }
  const std::string nexus =
      "https://127.0.0.1:" + std::to_string(servers.passportPort) + "/rdr/pprdr.asp";
  for (auto _ : state) {
    std::atomic<int> delivered{0}, failed{0};
    TBGProcessOptions options;
    options.maxRunningWorkers = static_cast<std::size_t>(state.range(0));
    options.workerEnded = [&](const delivery::WorkerTag&, bool done, const std::string& why) {
      if (done) {
        ++delivered;
      } else if (++failed <= 5) {
        std::fprintf(stderr, "not delivered: %s\n", why.c_str());
      }
    };
    const long threadsBefore = StatusValue("Threads");
    const int descriptorsBefore = OpenDescriptors();
    thrBGProcess supervisor(options);
    supervisor.iPollIntervalSecs_m = 3600;
    supervisor.dtLastPoll_m = Platform::Now();  // no time query during the burst
    supervisor.Resume();

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kItems; ++i) {
      // Logged into a tag without a log: the lines go nowhere, the outcome is counted.
      const auto tag = std::make_shared<delivery::WorkerTag>(nullptr, std::to_string(i), i + 1,
                                                             "messenger", "friend@test.example");
      auto worker = std::make_unique<thrQSMSMessenger>();
      worker->Setup("127.0.0.1", servers.msnPort, "sender@test.example", "pw",
                    "friend@test.example",
                    "Your scheduled item is about to elapse, ItemID: " + std::to_string(i), 4,
                    tag.get(), delivery::kWorkerLogMessage);
      worker->passportNexus_ = nexus;
      if (state.range(1) != 0) {
        worker->timings_ = ShortWaits();
      }
      supervisor.AddMessenger(std::move(worker), tag);
    }
    long peakThreads = 0;
    int peakDescriptors = 0;
    while (delivered + failed < kItems && std::chrono::steady_clock::now() - start < kGiveUpAfter) {
      peakThreads = std::max(peakThreads, StatusValue("Threads"));
      peakDescriptors = std::max(peakDescriptors, OpenDescriptors());
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    supervisor.TerminateAndWait();
    state.SetIterationTime(seconds);
    state.counters["delivered"] = delivered.load();
    state.counters["failed"] = failed.load();
    state.counters["seconds"] = seconds;
    state.counters["threads_before"] = static_cast<double>(threadsBefore);
    state.counters["peak_threads"] = static_cast<double>(peakThreads);
    state.counters["fds_before"] = descriptorsBefore;
    state.counters["peak_fds"] = peakDescriptors;
    state.counters["peak_rss_MB"] = static_cast<double>(StatusValue("VmHWM")) / 1024.0;
  }
}

}  // namespace

// Arguments: the supervisor's bound on workers running at once (the program's is 32), and
// 1 for the session's waits shortened.
BENCHMARK(Burst)->Args({32, 0})->Args({64, 0})->Args({32, 1})->Iterations(1)->UseManualTime()->Unit(
    benchmark::kSecond);
BENCHMARK_MAIN();
