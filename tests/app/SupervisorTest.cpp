// The background supervisor with workers whose bodies the tests control, its time
// query against a server of the test's own, and the two worker classes themselves.
#include <gtest/gtest.h>

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
#include "MessageTarget.h"
#include "classQSBGProcess.h"
#include "classQSEmail.h"
#include "classQSMSMessenger.h"

using namespace std::chrono_literals;

namespace {

bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
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
  std::atomic<bool> started{false};
  std::atomic<bool> finish{false};    // the test lets the body end
  std::atomic<bool> obeysStop{true};  // the body ends on the supervisor's stop request
  std::atomic<bool> freed{false};
};

template <typename Base>
class FakeWorker : public Base {
 public:
  explicit FakeWorker(std::shared_ptr<Probe> probe) : probe_(std::move(probe)) {}
  ~FakeWorker() override {
    this->TerminateAndWait();
    probe_->freed = true;
  }

 protected:
  void Execute() override {
    probe_->started = true;
    while (!probe_->finish && !(probe_->obeysStop && this->Terminated())) {
      std::this_thread::sleep_for(1ms);
    }
    this->bRunning_m = false;
  }

 private:
  std::shared_ptr<Probe> probe_;
};
using FakeMessenger = FakeWorker<thrQSMSMessenger>;
using FakeEmail = FakeWorker<thrQSEmail>;

// A real worker body, watched only for being freed.
template <typename Base>
class WatchedWorker : public Base {
 public:
  explicit WatchedWorker(std::shared_ptr<Probe> probe) : probe_(std::move(probe)) {}
  ~WatchedWorker() override {
    this->TerminateAndWait();
    probe_->freed = true;
  }

 private:
  std::shared_ptr<Probe> probe_;
};

class RecordingTarget : public Platform::MessageTarget {
 public:
  struct Message {
    std::uint32_t msg;
    std::string text;
    std::intptr_t lParam;
  };
  std::intptr_t SendMessage(std::uint32_t msg, std::uintptr_t wParam,
                            std::intptr_t lParam) override {
    std::lock_guard<std::mutex> lock(lock_);
    messages_.push_back({msg, reinterpret_cast<const char*>(wParam), lParam});
    return 0;
  }
  std::vector<Message> Messages() const {
    std::lock_guard<std::mutex> lock(lock_);
    return messages_;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Message& m : Messages()) {
      texts.push_back(m.text);
    }
    return texts;
  }

 private:
  mutable std::mutex lock_;
  std::vector<Message> messages_;
};

class Supervisor : public ::testing::Test {
 protected:
  // The defaults of the program, with the time query pointed at the test's server.
  std::unique_ptr<thrBGProcess> Make(TBGProcessOptions options = {}) {
    options.sntpPort = std::to_string(server_.Port());
    options.sntpTimeoutMs = 2000;
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
  ASSERT_TRUE(Eventually([&] { return supervisor->bRunning_m.load(); }));
  auto messenger = std::make_shared<Probe>();
  auto email = std::make_shared<Probe>();
  supervisor->AddMessenger(new FakeMessenger(messenger));
  supervisor->AddEmail(new FakeEmail(email));
  EXPECT_TRUE(Eventually([&] { return messenger->started && email->started; }, 2000ms));
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(messenger->freed || email->freed) << "running workers are kept";
  messenger->finish = true;
  EXPECT_TRUE(Eventually([&] { return messenger->freed.load(); }, 2000ms));
  EXPECT_FALSE(email->freed);
  email->finish = true;
  EXPECT_TRUE(Eventually([&] { return email->freed.load(); }, 2000ms));
}

TEST_F(Supervisor, WorkersStartedWithoutSetupEndThroughTheirGuardAndAreFreed) {
  auto supervisor = Make();
  supervisor->Resume();
  auto messenger = std::make_shared<Probe>();
  auto email = std::make_shared<Probe>();
  supervisor->AddMessenger(new WatchedWorker<thrQSMSMessenger>(messenger));
  supervisor->AddEmail(new WatchedWorker<thrQSEmail>(email));
  EXPECT_TRUE(Eventually([&] { return messenger->freed && email->freed; }, 2000ms));
  EXPECT_TRUE(supervisor->bRunning_m);
}

TEST_F(Supervisor, StoppingFreesWorkersThatStopInTimeAndLeavesTheOthersRunning) {
  auto supervisor = Make();
  supervisor->Resume();
  auto quickMessenger = std::make_shared<Probe>(), quickEmail = std::make_shared<Probe>();
  auto stubbornMessenger = std::make_shared<Probe>(), stubbornEmail = std::make_shared<Probe>();
  stubbornMessenger->obeysStop = false;
  stubbornEmail->obeysStop = false;
  auto* leftMessenger = new FakeMessenger(stubbornMessenger);
  auto* leftEmail = new FakeEmail(stubbornEmail);
  supervisor->AddMessenger(new FakeMessenger(quickMessenger));
  supervisor->AddMessenger(leftMessenger);
  supervisor->AddEmail(leftEmail);
  supervisor->AddEmail(new FakeEmail(quickEmail));
  ASSERT_TRUE(Eventually([&] {
    return quickMessenger->started && quickEmail->started && stubbornMessenger->started &&
           stubbornEmail->started;
  }));

  supervisor->Terminate();
  supervisor->WaitFor();  // the stop sequence does not wait for the stubborn ones
  EXPECT_FALSE(supervisor->bRunning_m);
  EXPECT_TRUE(quickMessenger->freed);
  EXPECT_TRUE(quickEmail->freed);
  EXPECT_FALSE(stubbornMessenger->freed);
  EXPECT_FALSE(stubbornEmail->freed);
  supervisor.reset();
  EXPECT_FALSE(stubbornMessenger->freed || stubbornEmail->freed) << "still in use by their threads";
  EXPECT_TRUE(leftMessenger->Terminated()) << "asked to stop once";
  EXPECT_TRUE(leftMessenger->bRunning_m && leftEmail->bRunning_m);

  // Nobody owns them any more; the test ends them itself.
  stubbornMessenger->finish = true;
  stubbornEmail->finish = true;
  delete leftMessenger;
  delete leftEmail;
}

TEST_F(Supervisor, TakesWorkersFromAnotherThreadWhileItsLoopRuns) {
  auto supervisor = Make();
  supervisor->Resume();
  constexpr int kEach = 100;
  std::vector<std::shared_ptr<Probe>> probes;
  for (int i = 0; i < 2 * kEach; ++i) {
    probes.push_back(std::make_shared<Probe>());
    probes.back()->finish = i % 3 != 0;  // most end at once, the others when released
  }
  std::thread creator([&] {
    for (int i = 0; i < kEach; ++i) {
      supervisor->AddMessenger(new FakeMessenger(probes[2 * i]));
      supervisor->AddEmail(new FakeEmail(probes[2 * i + 1]));
      if (i % 10 == 0) {
        std::this_thread::sleep_for(7ms);
      }
    }
  });
  std::thread server([&] {
    for (int i = 0; i < 50; ++i) {
      supervisor->SetSNTPServer(i % 2 ? "127.0.0.1" : "");
      std::this_thread::sleep_for(3ms);
    }
  });
  creator.join();
  server.join();
  for (auto& probe : probes) {
    probe->finish = true;
  }
  EXPECT_TRUE(Eventually(
      [&] {
        for (auto& probe : probes) {
          if (!probe->freed) {
            return false;
          }
        }
        return true;
      },
      10000ms));
}

TEST_F(Supervisor, PublishesTheOffsetAndFollowsANewServerAtTheNextQuery) {
  server_.Script({{.serverAheadSecs = -90.5}});
  auto supervisor = Make();
  supervisor->iPollIntervalSecs_m = 0;
  supervisor->SetSNTPServer("127.0.0.1");
  supervisor->Resume();
  ASSERT_TRUE(Eventually([&] { return supervisor->bNTPOffsetValid_m.load(); }));
  EXPECT_NEAR(supervisor->dNTPOffset_m * Platform::SecsPerDay, 90.5, 0.5) << "this clock ahead";
  EXPECT_EQ(clockSets_, 0) << "measured, not set";

  supervisor->bSyncTime_m = true;
  EXPECT_TRUE(Eventually([&] { return clockSets_ > 0; }));

  supervisor->SetSNTPServer("");  // nothing to ask: fails without the network
  EXPECT_TRUE(Eventually([&] { return !supervisor->bNTPOffsetValid_m; }));
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(supervisor->bNTPOffsetValid_m) << "and stays so";
}

TEST_F(Supervisor, AsksOncePerIntervalEvenAfterTheClockWasSetBack) {
  auto supervisor = Make();
  supervisor->iPollIntervalSecs_m = 10;
  supervisor->SetSNTPServer("127.0.0.1");
  // The last query seems a day ahead, as after the clock was put back.
  supervisor->dtLastPoll_m = Platform::Now() + 1.0;
  supervisor->Resume();
  ASSERT_TRUE(Eventually([&] { return server_.Requests() >= 1; }, 2000ms));
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(server_.Requests(), 1) << "the next one is ten seconds away";
}

TEST_F(Supervisor, AQueryThatRaisesLeavesTheLastOutcomeAndTheLoopGoingOn) {
  server_.Script({{.serverAheadSecs = -90}});
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
  EXPECT_TRUE(supervisor->bRunning_m);
}

TEST_F(Supervisor, ANeverStartedSupervisorFreesWorkersThatNeverRan) {
  auto probe = std::make_shared<Probe>();
  {
    auto supervisor = Make();
    EXPECT_FALSE(supervisor->bRunning_m);
    supervisor->AddEmail(new FakeEmail(probe));
  }
  EXPECT_FALSE(probe->started);
  EXPECT_TRUE(probe->freed);
}

// ---- The worker objects

TEST(NotificationWorker, StartWithTheirDocumentedValues) {
  thrQSEmail email;
  EXPECT_TRUE(email.bRunning_m);
  EXPECT_FALSE(email.Started());
  EXPECT_EQ(
      email.asTo_m + email.asSubject_m + email.asSMTPServer_m + email.asFrom_m + email.asBody_m,
      "");
  EXPECT_EQ(email.iSMTPPort_m, -1);
  EXPECT_EQ(email.iAttempts_m, 4);
  EXPECT_EQ(email.hLogWnd_m, nullptr);
  EXPECT_EQ(email.iLogMsg_m, 0);

  thrQSMSMessenger messenger;
  EXPECT_TRUE(messenger.bRunning_m);
  EXPECT_FALSE(messenger.Started());
  EXPECT_EQ(messenger.asMSMHost_m + messenger.asFromAccount_m + messenger.asPassword_m +
                messenger.asToAccounts_m,
            "");
  EXPECT_EQ(messenger.iMSMPort_m, -1);
  EXPECT_TRUE(messenger.vecMessages_m.empty());
  EXPECT_EQ(messenger.iAttempts_m, 4);
  EXPECT_EQ(messenger.hLogWnd_m, nullptr);
  EXPECT_EQ(messenger.iLogMsg_m, 0);
}

TEST(NotificationWorker, SetupReplacesValuesAndTheMessengerQueuesEachMessage) {
  RecordingTarget log;
  thrQSEmail email;
  email.Setup("a@x", "Subj", "smtp.x", 25, "me@x", "Body", 2, &log, 1025);
  email.Setup("b@x", "S2", "smtp.y", 26, "me@y", "B2", 3, nullptr, 0);
  EXPECT_EQ(email.asTo_m, "b@x");
  EXPECT_EQ(email.asSubject_m, "S2");
  EXPECT_EQ(email.asSMTPServer_m, "smtp.y");
  EXPECT_EQ(email.iSMTPPort_m, 26);
  EXPECT_EQ(email.asFrom_m, "me@y");
  EXPECT_EQ(email.asBody_m, "B2");
  EXPECT_EQ(email.iAttempts_m, 3);
  EXPECT_EQ(email.hLogWnd_m, nullptr);

  thrQSMSMessenger messenger;
  messenger.Setup("ns.x", 1863, "me@x", "pw", "a@x;b@x", "first", 4, nullptr, 0);
  messenger.Setup("ns.y", 1864, "me@y", "pw2", "c@y", "second", 2, &log, 1025);
  EXPECT_EQ(messenger.vecMessages_m, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(messenger.asMSMHost_m, "ns.y");
  EXPECT_EQ(messenger.iMSMPort_m, 1864);
  EXPECT_EQ(messenger.asFromAccount_m, "me@y");
  EXPECT_EQ(messenger.asPassword_m, "pw2");
  EXPECT_EQ(messenger.asToAccounts_m, "c@y");
  EXPECT_EQ(messenger.iAttempts_m, 2);
  EXPECT_EQ(messenger.hLogWnd_m, &log);
  EXPECT_EQ(messenger.iLogMsg_m, 1025);
}

TEST(NotificationWorker, LogLinesGoOnlyToAGivenWindowWithAMessageNumber) {
  RecordingTarget log;
  thrQSEmail email;
  email.LogMsg("no window");
  email.Setup("", "", "", 0, "", "", 4, &log, 0);
  email.LogMsg("number 0");
  email.Setup("", "", "", 0, "", "", 4, &log, 1);
  email.LogMsg("sent");
  email.LogMsg("");
  const auto messages = log.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].msg, 1u);
  EXPECT_EQ(messages[0].text, "sent");
  EXPECT_EQ(messages[0].lParam, 0);
  EXPECT_EQ(messages[1].text, "");
}

TEST(NotificationWorker, AnEmailWorkerNotFullySetUpEndsThroughItsGuard) {
  struct Case {
    const char* what;
    std::function<void(thrQSEmail&)> spoil;
  };
  const Case cases[] = {
      {"no set-up", [](thrQSEmail& w) { w.Setup("", "", "", -1, "", "", 4, nullptr, 0); }},
      {"port 0", [](thrQSEmail& w) { w.iSMTPPort_m = 0; }},
      {"empty subject", [](thrQSEmail& w) { w.asSubject_m.clear(); }},
      {"empty body", [](thrQSEmail& w) { w.asBody_m.clear(); }},
      {"empty recipients", [](thrQSEmail& w) { w.asTo_m.clear(); }},
  };
  RecordingTarget log;
  for (const Case& c : cases) {
    thrQSEmail email;
    email.Setup("a@x", "Subj", "smtp.x", 25, "me@x", "Body", 4, &log, 1025);
    c.spoil(email);
    email.Resume();
    email.WaitFor();
    EXPECT_FALSE(email.bRunning_m) << c.what;
    EXPECT_EQ(email.FatalExceptionMessage(), kSetupFirstError) << c.what;
  }
  EXPECT_TRUE(log.Messages().empty()) << "the guard logs nothing";

  thrQSEmail ready;
  ready.Setup("a@x", "Subj", "smtp.x", 25, "me@x", "Body", 4, nullptr, 0);
  ready.Resume();
  ready.WaitFor();
  EXPECT_FALSE(ready.bRunning_m);
  EXPECT_EQ(ready.FatalExceptionMessage(), "");
}

TEST(NotificationWorker, AMessengerNotFullySetUpLogsAndEndsThroughItsGuard) {
  const std::string starting = "======== STARTING [thrQSMSMessenger::Execute] ============";
  const std::string ending = "======== ENDING [thrQSMSMessenger::Execute] ============";
  const std::string notSetUp = "In [thrQSMSMessenger::Execute] thread ERROR - not properly setup!";
  struct Case {
    const char* what;
    int port;
    const char* password;
    const char* recipients;
  };
  for (const Case& c : {Case{"port 0", 0, "pw", "a@x"}, Case{"no password", 1863, "", "a@x"},
                        Case{"no recipients", 1863, "pw", ""}}) {
    RecordingTarget log;
    thrQSMSMessenger messenger;
    messenger.Setup("ns.x", c.port, "me@x", c.password, c.recipients, "hello", 4, &log, 1025);
    messenger.Resume();
    messenger.WaitFor();
    EXPECT_FALSE(messenger.bRunning_m) << c.what;
    EXPECT_EQ(messenger.FatalExceptionMessage(), kSetupFirstError) << c.what;
    EXPECT_EQ(log.Texts(), (std::vector<std::string>{starting, notSetUp, ending})) << c.what;
  }
  RecordingTarget log;
  thrQSMSMessenger never;  // resumed without Setup: no queued message either
  never.Resume();
  never.WaitFor();
  EXPECT_FALSE(never.bRunning_m);
  EXPECT_EQ(never.FatalExceptionMessage(), kSetupFirstError);

  thrQSMSMessenger ready;
  ready.Setup("ns.x", 1863, "me@x", "pw", "a@x", "hello", 4, &log, 1025);
  ready.Resume();
  ready.WaitFor();
  EXPECT_FALSE(ready.bRunning_m);
  EXPECT_EQ(ready.FatalExceptionMessage(), "");
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{starting, ending}));
}

class ReportingMessenger : public thrQSMSMessenger {
 public:
  using thrQSMSMessenger::ReportInternalError;
  using thrQSMSMessenger::thrQSMSMessenger;
};

TEST(NotificationWorker, MessengerInternalErrorsGoToTheMainWindowAsMessage3043) {
  RecordingTarget window;
  ReportingMessenger messenger(&window);
  messenger.ReportInternalError("thrQSMSMessenger::Setup", "boom");
  const auto messages = window.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].msg, 3043u);
  EXPECT_EQ(messages[0].text, "Problem in [thrQSMSMessenger::Setup] msg: boom");
  EXPECT_EQ(messages[0].lParam, 0);

  ReportingMessenger noWindow;  // no main window in this program
  noWindow.ReportInternalError("thrQSMSMessenger::Setup", "boom");
  EXPECT_EQ(window.Messages().size(), 1u);
}

}  // namespace
