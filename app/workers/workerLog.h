// How a notification worker hands a log line to its window: a blocking message
// whose first parameter carries the text, sent only when the worker was given a
// window and a message number of 1 or more.
#pragma once

#include <cstdint>
#include <string>

#include "MessageTarget.h"

inline void SendWorkerLogLine(Platform::MessageTarget* window, std::int32_t message,
                              const std::string& text) {
  if (window != nullptr && message >= 1) {
    window->SendMessage(static_cast<std::uint32_t>(message),
                        reinterpret_cast<std::uintptr_t>(text.c_str()), 0);
  }
}
