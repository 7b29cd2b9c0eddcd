// Any login-server answer, line by line, read for its ticket and any address it names,
// and any nexus header text read for its values and its login server.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "Exceptions.h"
#include "channels/messenger/msmProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Authentication-Info: ", 0) == 0) {
      if (msm::TicketFromAuthenticationInfo(line).size() > line.size()) {
        __builtin_trap();
      }
    }
    if (line.rfind("Location: ", 0) == 0) {
      try {
        msm::SplitLoginAddress(line.substr(10));
      } catch (const Platform::Exception&) {
      }
    }
  }
  msm::NexusValues(text);
  // Whatever the nexus sends, the login address never carries a line end into a request.
  const std::string login = msm::NexusLoginServer(text);
  if (login.find_first_of("\r\n") != std::string::npos || login.size() > text.size()) {
    __builtin_trap();
  }
  return 0;
}
