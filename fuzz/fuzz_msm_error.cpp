// Any server reply read as an error code and name.
#include <cstddef>
#include <cstdint>
#include <string>

#include "channels/messenger/msmProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const msm::MsmError error = msm::ParseMSMError(text);
  if (error.iCode < 0 || error.iCode > 999) {
    __builtin_trap();
  }
  return 0;
}
