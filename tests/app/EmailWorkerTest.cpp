// The e-mail worker as the scheduler and the supervisor use it: set up, resumed on its
// own thread, logging through its window, and stopped by its guard when not set up.
#include <gtest/gtest.h>

#include <mutex>

#include "MessageTarget.h"
#include "SmtpTestServers.h"
#include "TempDir.h"
#include "TestDependency.h"
#include "workers/classQSEmail.h"

namespace {

class RecordingWindow : public Platform::MessageTarget {
 public:
  std::intptr_t SendMessage(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t) override {
    std::lock_guard<std::mutex> guard(lock);
    lines.push_back(std::to_string(msg) + " " + reinterpret_cast<const char*>(wParam));
    return 0;
  }
  std::mutex lock;
  std::vector<std::string> lines;
};

}  // namespace

TEST(EmailWorker, SendsOnItsOwnThreadAndLogsOnlyThroughAWindowAndAMessageNumber) {
  testsupport::TempDir mails;
  testsupport::SmtpSink sink(mails.Path());
  REQUIRE_TEST_DEPENDENCY(sink.Available(), "aiosmtpd (Debian python3-aiosmtpd) is not installed");
  RecordingWindow window;
  for (const auto& [target, number] :
       {std::pair<Platform::MessageTarget*, int>{&window, 1234}, {nullptr, 1234}, {&window, 0}}) {
    thrQSEmail worker;
    worker.Setup("a@x.org", "Due", "127.0.0.1", sink.Port(), "me@x.org", "Item due", 4, target,
                 number);
    worker.Resume();
    worker.WaitFor();
    EXPECT_FALSE(worker.bRunning_m.load());
    EXPECT_TRUE(worker.delivered_);
    EXPECT_EQ(worker.failure_, "");
  }
  EXPECT_TRUE(sink.WaitForMails(3, 10000)) << "every worker sent its mail";
  EXPECT_EQ(window.lines,
            (std::vector<std::string>{
                "1234 Attempting to Send an Email to : a@x.org asSMTPServer_m: 127.0.0.1",
                "1234 Email notification was sent SUCCESSFULLY to: a@x.org",
                "1234 Finished with operation, disconnected from Email."}))
      << "the workers without a window or a message number logged nothing";
}

TEST(EmailWorker, AWorkerNotFullySetUpEndsAtOnceThroughItsGuard) {
  testsupport::ScriptedSmtpServer server({});
  RecordingWindow window;
  thrQSEmail unset;
  unset.Resume();
  unset.WaitFor();
  EXPECT_EQ(unset.FatalExceptionMessage(), kSetupFirstError);
  EXPECT_FALSE(unset.bRunning_m.load());
  for (const auto& [subject, port] : {std::pair<std::string, int>{"", server.Port()}, {"Due", 0}}) {
    thrQSEmail worker;
    worker.Setup("a@x.org", subject, "127.0.0.1", port, "me@x.org", "Item due", 4, &window, 1);
    worker.Resume();
    worker.WaitFor();
    EXPECT_EQ(worker.FatalExceptionMessage(), kSetupFirstError);
    EXPECT_FALSE(worker.bRunning_m.load());
    EXPECT_FALSE(worker.delivered_);
    EXPECT_EQ(worker.failure_, kSetupFirstError);
  }
  EXPECT_EQ(server.Connections(), 0);
  EXPECT_TRUE(window.lines.empty());
}

TEST(EmailWorker, AClosedPortIsAFailureWithTheLastAttemptsReason) {
  testsupport::RefusingPort closed;
  RecordingWindow window;
  thrQSEmail worker;
  worker.Setup("a@x.org", "Due", "127.0.0.1", closed.Port(), "me@x.org", "Item due", 1, &window, 1);
  worker.Resume();
  worker.WaitFor();
  EXPECT_FALSE(worker.delivered_);
  ASSERT_GE(window.lines.size(), 2u);
  const std::string attempt = window.lines[1];
  EXPECT_FALSE(worker.failure_.empty());
  EXPECT_EQ(attempt.substr(attempt.size() - worker.failure_.size()), worker.failure_)
      << attempt << " / " << worker.failure_;
}
