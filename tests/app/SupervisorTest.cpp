// The background supervisor with workers whose bodies the tests control, its time
// query against a server of the test's own, and the worker objects' own behaviour.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "DateTime.h"
#include "FakeSntpServer.h"
#include "desktop/fileLimit.h"
#include "workers/classQSBGProcess.h"
#include "workers/classQSEmail.h"
#include "workers/classQSMSMessenger.h"
#include "workers/workerTag.h"

using namespace std::chrono_literals;

namespace {

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// What a test sees of a worker that the supervisor may already have freed.
struct Probe {
  std::atomic<bool> started{false}, finish{false}, freed{false};
  std::atomic<bool> obeysStop{true};  // the body ends on the supervisor's stop request
  bool realBody = false;              // run the class's own body instead
};

template <typename Base>
class Worker : public Base {
 public:
  explicit Worker(std::shared_ptr<Probe> probe) : probe_(std::move(probe)) {}
  ~Worker() override {
    this->TerminateAndWait();
    probe_->freed = true;
  }

 protected:
  void Execute() override {
    probe_->started = true;
    if (probe_->realBody) {
      return Base::Execute();
    }
    while (!probe_->finish && !(probe_->obeysStop && this->Terminated())) {
      std::this_thread::sleep_for(1ms);
    }
    this->bRunning_m = false;
  }

 private:
  std::shared_ptr<Probe> probe_;
};

struct RecordingTarget : Platform::MessageTarget {
  std::intptr_t SendMessage(std::uint32_t msg, std::uintptr_t wParam,
                            std::intptr_t lParam) override {
    std::lock_guard<std::mutex> lock(mutex);
    texts.push_back(std::to_string(msg) + ":" + reinterpret_cast<const char*>(wParam) + ":" +
                    std::to_string(lParam));
    return 0;
  }
  std::mutex mutex;
  std::vector<std::string> texts;
};

class Supervisor : public ::testing::Test {
 protected:
  // The program's waits, the time query pointed at the test's server.
  std::unique_ptr<thrBGProcess> Make(
      std::chrono::milliseconds loopPause = 100ms,
      const std::function<void(TBGProcessOptions&)>& adjust = nullptr) {
    TBGProcessOptions options;
    options.loopPause = loopPause;
    if (adjust) {
      adjust(options);
    }
    options.sntpPort = std::to_string(server_.Port());
    options.setClock = [this](Platform::TDateTime) {
      ++clockSets_;
      if (throwOnSetClock_) {
        throw std::runtime_error("no right to set the clock");
      }
    };
    auto supervisor = std::make_unique<thrBGProcess>(options);
    supervisor->iPollIntervalSecs_m = 3600;
    return supervisor;
  }

  testsupport::FakeSntpServer server_;
  std::atomic<int> clockSets_{0};
  std::atomic<bool> throwOnSetClock_{false};
};

TEST_F(Supervisor, StartsHandedOverWorkersAndFreesThemOnceTheirFlagDrops) {
  auto supervisor = Make();
  supervisor->Resume();
  auto messenger = std::make_shared<Probe>(), email = std::make_shared<Probe>();
  auto unset = std::make_shared<Probe>();
  unset->realBody = true;  // resumed without Setup: ends through its guard
  supervisor->AddMessenger(std::make_unique<Worker<thrQSMSMessenger>>(messenger));
  supervisor->AddEmail(std::make_unique<Worker<thrQSEmail>>(email));
  supervisor->AddEmail(std::make_unique<Worker<thrQSEmail>>(unset));
  EXPECT_TRUE(Eventually([&] { return messenger->started && email->started; }, 2s));
  EXPECT_TRUE(Eventually([&] { return unset->freed.load(); }, 2s));
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(messenger->freed || email->freed) << "running workers are kept";
  messenger->finish = true;
  EXPECT_TRUE(Eventually([&] { return messenger->freed.load(); }, 2s));
  EXPECT_FALSE(email->freed);
  email->finish = true;
  EXPECT_TRUE(Eventually([&] { return email->freed.load(); }, 2s));
}

TEST_F(Supervisor, SleepsUntilAHandOverAWorkersEndOrTheStopWakesIt) {
  auto supervisor = Make(1h);  // no pass of its own accord within the test
  supervisor->Resume();
  ASSERT_TRUE(Eventually([&] { return supervisor->bRunning_m.load(); }));
  std::this_thread::sleep_for(20ms);  // past its first pass, asleep
  auto probe = std::make_shared<Probe>();
  supervisor->AddEmail(std::make_unique<Worker<thrQSEmail>>(probe));
  EXPECT_TRUE(Eventually([&] { return probe->started.load(); }, 2s));
  probe->finish = true;
  EXPECT_TRUE(Eventually([&] { return probe->freed.load(); }, 2s));
  supervisor->Terminate();
  EXPECT_TRUE(Eventually([&] { return !supervisor->bRunning_m; }, 2s));
}

TEST_F(Supervisor, WakesForEachTimeQueryOfItsInterval) {
  auto supervisor = Make();
  supervisor->iPollIntervalSecs_m = 1;
  supervisor->SetSNTPServer("127.0.0.1");
  supervisor->Resume();
  EXPECT_TRUE(Eventually([&] { return server_.Requests() >= 3; }, 10s));
}

TEST_F(Supervisor, StoppingFreesWorkersThatStopInTimeAndLeavesTheOthersRunning) {
  auto supervisor = Make();
  supervisor->Resume();
  auto quick = std::make_shared<Probe>(), stubborn = std::make_shared<Probe>();
  stubborn->obeysStop = false;
  auto owned = std::make_unique<Worker<thrQSEmail>>(stubborn);
  auto* left = owned.get();  // still running when the supervisor is gone
  supervisor->AddMessenger(std::make_unique<Worker<thrQSMSMessenger>>(quick));
  supervisor->AddEmail(std::move(owned));
  ASSERT_TRUE(Eventually([&] { return quick->started && stubborn->started; }));

  supervisor->Terminate();
  supervisor->WaitFor();  // the stop does not wait for the stubborn one
  EXPECT_FALSE(supervisor->bRunning_m);
  EXPECT_TRUE(quick->freed);
  supervisor.reset();
  EXPECT_FALSE(stubborn->freed) << "still in use by its thread";
  EXPECT_TRUE(left->Terminated() && left->bRunning_m);
  stubborn->finish = true;  // nobody owns it any more
  delete left;
}

TEST_F(Supervisor, TakesWorkersFromAnotherThreadWhileItsLoopRuns) {
  auto supervisor = Make();
  supervisor->Resume();
  std::vector<std::shared_ptr<Probe>> probes(200);
  for (auto& probe : probes) {
    probe = std::make_shared<Probe>();
  }
  std::thread creator([&] {
    for (std::size_t i = 0; i < probes.size(); i += 2) {
      supervisor->AddMessenger(std::make_unique<Worker<thrQSMSMessenger>>(probes[i]));
      supervisor->AddEmail(std::make_unique<Worker<thrQSEmail>>(probes[i + 1]));
      supervisor->SetSNTPServer(i % 4 ? "127.0.0.1" : "");
      std::this_thread::sleep_for(1ms);
    }
  });
  creator.join();
  for (auto& probe : probes) {
    probe->finish = true;
  }
  EXPECT_TRUE(Eventually([&] {
    return std::all_of(probes.begin(), probes.end(), [](auto& p) { return p->freed.load(); });
  }));
}

TEST_F(Supervisor, PublishesTheOffsetAndFollowsTheServerAndClockFlag) {
  server_.Script({{.serverAheadSecs = -90.5}});
  auto supervisor = Make();
  supervisor->iPollIntervalSecs_m = 0;
  supervisor->SetSNTPServer("127.0.0.1");
  supervisor->Resume();
  ASSERT_TRUE(Eventually([&] { return supervisor->bNTPOffsetValid_m.load(); }));
  EXPECT_NEAR(supervisor->dNTPOffset_m * Platform::SecsPerDay, 90.5, 0.5) << "this clock ahead";
  EXPECT_EQ(clockSets_, 0);
  supervisor->bSyncTime_m = true;
  EXPECT_TRUE(Eventually([&] { return clockSets_ > 0; }));
  supervisor->SetSNTPServer("");  // nothing to ask: fails without the network
  EXPECT_TRUE(Eventually([&] { return !supervisor->bNTPOffsetValid_m; }));
}

TEST_F(Supervisor, AsksOncePerIntervalEvenAfterTheClockWasPutBack) {
  auto supervisor = Make();
  supervisor->iPollIntervalSecs_m = 10;
  supervisor->SetSNTPServer("127.0.0.1");
  supervisor->dtLastPoll_m = Platform::Now() + 1.0;  // the last query seems a day ahead
  supervisor->Resume();
  ASSERT_TRUE(Eventually([&] { return server_.Requests() >= 1; }, 2s));
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(server_.Requests(), 1) << "the next one is ten seconds away";
}

TEST_F(Supervisor, AQueryThatRaisesLeavesTheLastOutcomeAndTheLoopGoingOn) {
  throwOnSetClock_ = true;
  auto supervisor = Make();
  supervisor->iPollIntervalSecs_m = 0;
  supervisor->bSyncTime_m = true;
  supervisor->SetSNTPServer("127.0.0.1");
  supervisor->bNTPOffsetValid_m = true;
  supervisor->dNTPOffset_m = 0.25;
  supervisor->Resume();
  ASSERT_TRUE(Eventually([&] { return clockSets_ >= 3; }));
  EXPECT_TRUE(supervisor->bNTPOffsetValid_m);
  EXPECT_EQ(supervisor->dNTPOffset_m, 0.25);
}

TEST_F(Supervisor, ANeverStartedSupervisorFreesWorkersThatNeverRan) {
  auto probe = std::make_shared<Probe>();
  Make()->AddEmail(std::make_unique<Worker<thrQSEmail>>(probe));
  EXPECT_TRUE(probe->freed && !probe->started);
}

// How many workers of a test run at once, and the most that ever did.
struct Crowd {
  std::atomic<int> running{0}, most{0};
};

// A worker that counts itself among the running while its body runs.
template <typename Base>
class CountedWorker : public Base {
 public:
  CountedWorker(std::shared_ptr<Probe> probe, Crowd& crowd)
      : probe_(std::move(probe)), crowd_(crowd) {}
  ~CountedWorker() override {
    this->TerminateAndWait();
    probe_->freed = true;
  }

 protected:
  void Execute() override {
    const int now = ++crowd_.running;
    for (int most = crowd_.most; now > most && !crowd_.most.compare_exchange_weak(most, now);) {
    }
    probe_->started = true;
    while (!probe_->finish && !(probe_->obeysStop && this->Terminated())) {
      std::this_thread::sleep_for(1ms);
    }
    --crowd_.running;
    this->bRunning_m = false;
  }

 private:
  std::shared_ptr<Probe> probe_;
  Crowd& crowd_;
};

TEST_F(Supervisor, RunsAtMostItsBoundOfWorkersAndStartsTheOthersInHandOverOrder) {
  constexpr int kWorkers = 10, kBound = 3;
  Crowd crowd;
  auto supervisor = Make(100ms, [](TBGProcessOptions& o) { o.maxRunningWorkers = kBound; });
  supervisor->Resume();
  std::vector<std::shared_ptr<Probe>> probes(kWorkers);
  for (int i = 0; i < kWorkers; ++i) {
    probes[i] = std::make_shared<Probe>();
    // E-mail first, then the two kinds by turns: the order is the hand-over's, not the lists'.
    if (i % 2 == 0) {
      supervisor->AddEmail(std::make_unique<CountedWorker<thrQSEmail>>(probes[i], crowd));
    } else {
      supervisor->AddMessenger(std::make_unique<CountedWorker<thrQSMSMessenger>>(probes[i], crowd));
    }
  }
  const auto startedCount = [&] {
    return std::count_if(probes.begin(), probes.end(), [](auto& p) { return p->started.load(); });
  };
  for (int ended = 0; ended < kWorkers; ++ended) {
    const int expected = std::min(kWorkers, ended + kBound);
    ASSERT_TRUE(Eventually([&] { return startedCount() >= expected; }, 2s)) << ended;
    std::this_thread::sleep_for(30ms);  // room for a start too many to show
    for (int i = 0; i < kWorkers; ++i) {
      EXPECT_EQ(probes[i]->started.load(), i < expected)
          << "worker " << i << ", " << ended << " ended";
    }
    probes[ended]->finish = true;
  }
  EXPECT_TRUE(Eventually([&] {
    return std::all_of(probes.begin(), probes.end(), [](auto& p) { return p->freed.load(); });
  }));
  EXPECT_EQ(crowd.most, kBound);
}

TEST_F(Supervisor, WorkersStillWaitingAtTheStopAreFreedUnstartedAndReportedUndelivered) {
  std::mutex mutex;
  std::vector<std::string> reports;
  Crowd crowd;
  auto supervisor = Make(100ms, [&](TBGProcessOptions& o) {
    o.maxRunningWorkers = 1;
    o.workerEnded = [&](const delivery::WorkerTag& tag, bool delivered, const std::string& why) {
      std::lock_guard<std::mutex> lock(mutex);
      reports.push_back(tag.item + (delivered ? " delivered" : ": " + why));
    };
  });
  supervisor->Resume();
  const auto tag = [](const char* item) {
    return std::make_shared<delivery::WorkerTag>(nullptr, item, 1, "messenger", "a@x");
  };
  auto running = std::make_shared<Probe>(), second = std::make_shared<Probe>(),
       third = std::make_shared<Probe>();
  supervisor->AddMessenger(std::make_unique<CountedWorker<thrQSMSMessenger>>(running, crowd),
                           tag("first"));
  supervisor->AddEmail(std::make_unique<CountedWorker<thrQSEmail>>(second, crowd), tag("second"));
  supervisor->AddMessenger(std::make_unique<CountedWorker<thrQSMSMessenger>>(third, crowd),
                           tag("third"));
  ASSERT_TRUE(Eventually([&] { return running->started.load(); }));
  supervisor->Terminate();
  supervisor->WaitFor();
  EXPECT_TRUE(running->freed && second->freed && third->freed);
  EXPECT_FALSE(second->started || third->started);
  std::sort(reports.begin(), reports.end());
  EXPECT_EQ(reports, (std::vector<std::string>{
                         "first: ended without delivering",
                         std::string("second: ") + kNotStartedFailure,
                         std::string("third: ") + kNotStartedFailure,
                     }));
}

// ---- The open-file limit

TEST(FileLimit, TheSoftLimitOnOpenFilesIsRaisedToTheHardOne) {
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_max, 256);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  const rlim_t raised = file_limit::RaiseOpenFileLimit();
  rlimit now{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
  EXPECT_EQ(now.rlim_cur, raised);
  if (saved.rlim_max != RLIM_INFINITY) {
    EXPECT_EQ(now.rlim_cur, saved.rlim_max);
  } else {
    EXPECT_GT(now.rlim_cur, low.rlim_cur);  // as far as the kernel lets a process go
  }
  ::setrlimit(RLIMIT_NOFILE, &saved);
}

// ---- The worker objects

TEST(NotificationWorker, LogLinesGoOnlyToAGivenWindowWithAMessageNumber) {
  RecordingTarget log;
  thrQSEmail email;
  email.LogMsg("no window");
  email.Setup("", "", "", 0, "", "", 4, &log, 0);
  email.LogMsg("number 0");
  email.Setup("", "", "", 0, "", "", 4, &log, 1);
  email.LogMsg("sent");
  email.LogMsg("");
  EXPECT_EQ(log.texts, (std::vector<std::string>{"1:sent:0", "1::0"}));
}

TEST(NotificationWorker, WorkersNotFullySetUpEndThroughTheirGuard) {
  RecordingTarget log;
  const auto run = [](Platform::TThread& worker, const std::atomic<bool>& running) {
    worker.Resume();
    worker.WaitFor();
    EXPECT_FALSE(running);
    return worker.FatalExceptionMessage();
  };
  // Workers set up in full go on to send; that is their channels' to test.
  for (int spoil = 1; spoil < 4; ++spoil) {
    thrQSEmail email;
    email.Setup("a@x", spoil == 1 ? "" : "Subj", "smtp.x", spoil == 2 ? 0 : 25, "me@x",
                spoil == 3 ? "" : "Body", 4, &log, 1025);
    EXPECT_EQ(run(email, email.bRunning_m), kSetupFirstError) << spoil;
  }
  EXPECT_TRUE(log.texts.empty()) << "the e-mail guard logs nothing";

  const std::string start = "1025:======== STARTING [thrQSMSMessenger::Execute] ============:0";
  const std::string bad =
      "1025:In [thrQSMSMessenger::Execute] thread ERROR - not properly setup!:0";
  const std::string end = "1025:======== ENDING [thrQSMSMessenger::Execute] ============:0";
  for (int spoil = 1; spoil < 4; ++spoil) {
    RecordingTarget mlog;
    thrQSMSMessenger messenger;
    messenger.Setup("127.0.0.1", spoil == 1 ? 0 : 1863, "me@x", spoil == 2 ? "" : "pw",
                    spoil == 3 ? "" : "a@x", "hello", 4, &mlog, 1025);
    EXPECT_EQ(run(messenger, messenger.bRunning_m), kSetupFirstError) << spoil;
    EXPECT_EQ(mlog.texts, (std::vector<std::string>{start, bad, end})) << spoil;
  }
  thrQSMSMessenger never;  // no Setup: no queued message either
  EXPECT_EQ(run(never, never.bRunning_m), kSetupFirstError);
}

TEST(NotificationWorker, TheMessengerQueuesEveryMessageAndReportsInternalErrors) {
  struct Reporting : thrQSMSMessenger {
    using thrQSMSMessenger::ReportInternalError;
    using thrQSMSMessenger::thrQSMSMessenger;
  };
  RecordingTarget window;
  Reporting messenger(&window);
  messenger.Setup("ns.x", 1863, "me@x", "pw", "a@x", "first", 4, nullptr, 0);
  messenger.Setup("ns.y", 1864, "me@y", "pw2", "c@y", "second", 2, nullptr, 0);
  EXPECT_EQ(messenger.vecMessages_m, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(messenger.asMSMHost_m + messenger.asToAccounts_m, "ns.yc@y");
  messenger.ReportInternalError("thrQSMSMessenger::Setup", "boom");
  EXPECT_EQ(window.texts,
            std::vector<std::string>{"3043:Problem in [thrQSMSMessenger::Setup] msg: boom:0"});
  // Without a window nothing is sent anywhere, not even to the window of another messenger.
  Reporting noWindow;
  noWindow.ReportInternalError("thrQSMSMessenger::Setup", "boom");
  EXPECT_EQ(window.texts.size(), 1u);
}

}  // namespace
