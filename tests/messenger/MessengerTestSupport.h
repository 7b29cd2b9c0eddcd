// What the messenger tests share: a log window that records every line, and a worker
// set up against the test's own servers with short waits.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "MessageTarget.h"
#include "workers/classQSMSMessenger.h"

namespace msmtest {

class RecordingLog : public Platform::MessageTarget {
 public:
  std::intptr_t SendMessage(std::uint32_t, std::uintptr_t wParam, std::intptr_t) override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      lines_.emplace_back(reinterpret_cast<const char*>(wParam));
    }
    logged_.notify_all();
    return 0;
  }
  // Waits at most ms for the line to be logged; true when it was.
  bool WaitForLine(const std::string& line, int ms = 10000) const {
    std::unique_lock<std::mutex> guard(lock_);
    return logged_.wait_for(guard, std::chrono::milliseconds(ms), [&] {
      return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
    });
  }
  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
  }
  int Count(const std::string& line) const {
    const std::vector<std::string> lines = Lines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }
  bool Has(const std::string& line) const { return Count(line) > 0; }
  // The log as one text, a line per log line, for failure messages.
  std::string Text() const {
    std::string text;
    for (const std::string& line : Lines()) {
      text += line + "\n";
    }
    return text;
  }

 private:
  mutable std::mutex lock_;
  mutable std::condition_variable logged_;
  std::vector<std::string> lines_;
};

inline msm::MessengerTimings FastTimings() {
  msm::MessengerTimings t;
  t.pollMs = 100;
  t.maxEmptyPolls = 4;
  t.signInWaitMs = 400;
  t.connectPauseMs = 10;
  t.retryPauseMs = 50;
  t.ackWaitMs = 250;
  t.receiveMs = 3000;
  t.drainMs = 300;
  t.passportMs = 10000;
  t.xfrWaitMs = 5000;
  t.joinWaitMs = 5000;
  return t;
}

inline constexpr const char* kText = "Your scheduled item is about to elapse, ItemID: m1";

// A worker for host 127.0.0.1 and the given port, recording its log and its reports.
struct Session {
  RecordingLog log;
  RecordingLog window;  // internal error reports
  std::unique_ptr<thrQSMSMessenger> worker;

  Session(int port, const std::string& nexus,
          const std::string& to = "first@test.example;second@test.example") {
    worker = std::make_unique<thrQSMSMessenger>(&window);
    worker->Setup("127.0.0.1", port, "sender@test.example", "pa,ss", to, kText, 4, &log, 1025);
    worker->passportNexus_ = nexus;
    worker->timings_ = FastTimings();
  }
  void Run() {
    worker->Resume();
    worker->WaitFor();
  }
};

}  // namespace msmtest
