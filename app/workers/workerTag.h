// What a notification worker carries of its dispatch: the item, the channel and the
// recipients. It is also the worker's log window: each line the worker logs goes to
// the delivery log's queue, so the worker never waits for the window. The supervisor
// keeps the tag as long as the worker and, when the worker has ended, hands it to the
// window's report together with the worker's outcome.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "MessageTarget.h"
#include "delivery/deliveryLog.h"

namespace delivery {

// "<text> (repeated N times)": a line that came N more times in a row.
inline std::string RepeatedText(const std::string& text, std::uint64_t repeats) {
  return text + " (repeated " + std::to_string(repeats) + (repeats == 1 ? " time)" : " times)");
}

// The log message number the workers are set up with.
inline constexpr int kWorkerLogMessage = 3044;

class WorkerTag : public Platform::MessageTarget {
 public:
  WorkerTag(std::shared_ptr<LogSink> sink, std::string item, std::uint64_t dispatch,
            std::string channel, std::string target)
      : item(std::move(item)),
        dispatch(dispatch),
        channel(std::move(channel)),
        target(std::move(target)),
        sink_(std::move(sink)) {}
  ~WorkerTag() override { EndRepeats(); }

  std::intptr_t SendMessage(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t) override {
    if (msg == static_cast<std::uint32_t>(kWorkerLogMessage) && wParam != 0) {
      Log(reinterpret_cast<const char*>(wParam));
    }
    return 0;
  }
  // A line the same as the one before is only counted: a server that sends one unexpected
  // reply ten thousand times leaves two lines, not ten thousand, in the bounded log.
  void Log(const std::string& text) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (!sink_) {
      return;
    }
    if (logged_ && text == last_) {
      ++repeats_;
      return;
    }
    WriteRepeats();
    sink_->Write(item, channel, text);
    last_ = text;
    logged_ = true;
  }
  // Writes the count of a line still repeating; the tag's end does so too.
  void EndRepeats() const {
    std::lock_guard<std::mutex> guard(lock_);
    WriteRepeats();
    logged_ = false;
  }

  const std::string item;
  const std::uint64_t dispatch;
  const std::string channel;
  const std::string target;

 private:
  void WriteRepeats() const {
    if (sink_ && repeats_ > 0) {
      sink_->Write(item, channel, RepeatedText(last_, repeats_));
    }
    repeats_ = 0;
  }

  std::shared_ptr<LogSink> sink_;
  // The worker's thread logs, and the supervisor's when the worker has ended.
  mutable std::mutex lock_;
  mutable std::string last_;
  mutable bool logged_ = false;
  mutable std::uint64_t repeats_ = 0;
};

}  // namespace delivery
