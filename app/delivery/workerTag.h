// What a notification worker carries of its dispatch: the item, the channel and the
// recipients. It is also the worker's log window: each line the worker logs goes to
// the delivery log's queue, so the worker never waits for the window. The supervisor
// keeps the tag as long as the worker and, when the worker has ended, hands it to the
// window's report together with the worker's outcome.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "MessageTarget.h"
#include "deliveryLog.h"

namespace delivery {

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

  std::intptr_t SendMessage(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t) override {
    if (sink_ && msg == static_cast<std::uint32_t>(kWorkerLogMessage) && wParam != 0) {
      sink_->Write(item, channel, reinterpret_cast<const char*>(wParam));
    }
    return 0;
  }
  void Log(const std::string& text) const {
    if (sink_) {
      sink_->Write(item, channel, text);
    }
  }

  const std::string item;
  const std::uint64_t dispatch;
  const std::string channel;
  const std::string target;

 private:
  std::shared_ptr<LogSink> sink_;
};

}  // namespace delivery
