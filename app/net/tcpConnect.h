// The one way the program opens a TCP connection: the host's first IPv4 address, a
// connect that gives up at its deadline, and a descriptor that no child process inherits.
// Both mail and messenger connect through here and word a failure in their own terms.
#pragma once

#include <chrono>
#include <string>

#include "UniqueFd.h"

namespace net {

using Deadline = std::chrono::steady_clock::time_point;

struct Connection {
  Platform::UniqueFd fd;   // open and blocking on success
  int code = 0;            // on failure the Winsock-numbered cause (10061 refused, ...)
  std::string systemText;  // on failure the system's own words for it
  explicit operator bool() const { return static_cast<bool>(fd); }
};

// Resolves host (the resolver bounds its own waits), then connects to port, taken as an
// unsigned 16-bit number, until deadline at the latest: 10060 when it runs out. The
// outcome's code is also left as the thread's last socket error (0 on success).
Connection TcpConnect(const std::string& host, int port, Deadline deadline);

// Milliseconds from now to deadline, 0 once it has passed.
int MillisecondsLeft(Deadline deadline);

}  // namespace net
