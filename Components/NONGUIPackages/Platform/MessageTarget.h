// A receiver of window messages sent from other threads. The sender blocks
// until the receiver has handled the message; a worker's "window handle" is one of these.
#pragma once

#include <cstdint>

namespace Platform {

class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  virtual std::intptr_t SendMessage(std::uint32_t msg, std::uintptr_t wParam,
                                    std::intptr_t lParam) = 0;
};

}  // namespace Platform
