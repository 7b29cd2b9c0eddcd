#include "Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <stdexcept>
#include <thread>

#include "Exceptions.h"

namespace Platform {
namespace {

// A thread whose Execute is given by the test. Like every derived class that uses
// its own members in Execute, it waits for the thread in its destructor.
class LambdaThread : public TThread {
 public:
  explicit LambdaThread(std::function<void(LambdaThread&)> body) : body_(std::move(body)) {}
  ~LambdaThread() override { TerminateAndWait(); }
  std::atomic<int> runs{0};

 protected:
  void Execute() override {
    ++runs;
    body_(*this);
  }

 private:
  std::function<void(LambdaThread&)> body_;
};

void SpinUntilTerminated(LambdaThread& self) {
  while (!self.Terminated())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(ThreadTest, ANeverResumedThreadIsDestroyedWithoutRunning) {
  std::atomic<bool> ran{false};
  {
    LambdaThread thread([&](LambdaThread&) { ran = true; });
    EXPECT_FALSE(thread.Started());
    thread.WaitFor();  // nothing to wait for
    EXPECT_FALSE(thread.Finished());
  }
  EXPECT_FALSE(ran);
}

TEST(ThreadTest, ResumeStartsExecuteOnlyOnce) {
  LambdaThread thread([](LambdaThread&) {});
  thread.Resume();
  thread.Resume();
  thread.WaitFor();
  thread.Resume();
  thread.WaitFor();
  EXPECT_EQ(thread.runs, 1);
  EXPECT_TRUE(thread.Started());
  EXPECT_TRUE(thread.Finished());
  EXPECT_EQ(thread.FatalExceptionMessage(), "");
}

TEST(ThreadTest, ExecuteRunsOnAnotherThreadAndSeesTerminate) {
  std::thread::id executeThread;
  LambdaThread thread([&](LambdaThread& self) {
    executeThread = std::this_thread::get_id();
    SpinUntilTerminated(self);
  });
  thread.Resume();
  EXPECT_FALSE(thread.Terminated());
  thread.Terminate();
  thread.WaitFor();
  EXPECT_TRUE(thread.Finished());
  EXPECT_NE(executeThread, std::this_thread::get_id());
}

TEST(ThreadTest, DestroyingARunningThreadStopsAndJoinsIt) {
  std::atomic<bool> leftLoop{false};
  {
    LambdaThread thread([&](LambdaThread& self) {
      SpinUntilTerminated(self);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      leftLoop = true;
    });
    thread.Resume();
  }
  EXPECT_TRUE(leftLoop);
}

TEST(ThreadTest, AnExceptionEscapingExecuteKeepsItsMessage) {
  LambdaThread plain([](LambdaThread&) { throw Exception("Internal Error in [x] msg: boom"); });
  LambdaThread standard([](LambdaThread&) { throw std::runtime_error("bad"); });
  LambdaThread text([](LambdaThread&) { throw "Calling select: : Bad file number (10009)"; });
  LambdaThread other([](LambdaThread&) { throw 42; });
  LambdaThread silent([](LambdaThread&) { throw EAbort(""); });
  LambdaThread clean([](LambdaThread&) {});
  // The end notice comes on every way out, from the thread itself, once Execute is over.
  std::atomic<int> notices{0};
  for (TThread* t :
       std::initializer_list<TThread*>{&plain, &standard, &text, &other, &silent, &clean}) {
    const std::thread::id caller = std::this_thread::get_id();
    t->SetOnFinished([&notices, t, caller] {
      EXPECT_NE(std::this_thread::get_id(), caller);
      EXPECT_TRUE(t->Finished());
      ++notices;
    });
    t->Resume();
    t->WaitFor();
    EXPECT_TRUE(t->Finished());
  }
  EXPECT_EQ(notices, 6);
  EXPECT_EQ(plain.FatalExceptionMessage(), "Internal Error in [x] msg: boom");
  EXPECT_EQ(standard.FatalExceptionMessage(), "bad");
  EXPECT_EQ(text.FatalExceptionMessage(), "Calling select: : Bad file number (10009)");
  EXPECT_EQ(other.FatalExceptionMessage(), "Unknown exception");
  EXPECT_EQ(silent.FatalExceptionMessage(), "");
}

TEST(ThreadTest, SeveralThreadsCanWaitForTheSameThread) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  LambdaThread thread([&](LambdaThread&) { released.wait(); });
  thread.Resume();
  std::atomic<int> returned{0};
  std::thread first([&] {
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
    ++returned;
  });
  std::thread second([&] {
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
    ++returned;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(returned, 0);
  release.set_value();
  first.join();
  second.join();
  EXPECT_EQ(returned, 2);
}

TEST(ThreadTest, WaitForFromTheThreadItselfReturns) {
  std::atomic<bool> passed{false};
  LambdaThread thread([&](LambdaThread& self) {
    self.WaitFor();
    passed = true;
  });
  thread.Resume();
  thread.WaitFor();
  EXPECT_TRUE(passed);
}

// A thread object deleted by its own Execute must neither join itself nor touch the
// freed object afterwards.
class SelfDeletingThread : public TThread {
 public:
  explicit SelfDeletingThread(std::promise<void>& done) : done_(done) {}

 protected:
  void Execute() override {
    std::promise<void>& done = done_;
    delete this;
    done.set_value();
  }

 private:
  std::promise<void>& done_;
};

TEST(ThreadTest, AThreadMayDeleteItselfFromExecute) {
  std::promise<void> done;
  auto finished = done.get_future();
  (new SelfDeletingThread(done))->Resume();
  EXPECT_EQ(finished.wait_for(std::chrono::seconds(30)), std::future_status::ready);
}

}  // namespace
}  // namespace Platform
