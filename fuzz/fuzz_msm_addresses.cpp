// Any redirect or switchboard transfer read as an address and a cookie; a bad port may
// raise the program's exception and nothing else.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Exceptions.h"
#include "channels/messenger/msmProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const msm::HostPort address = msm::ParseXferAddress(text);
    if (address.asHost.size() > text.size()) {
      __builtin_trap();
    }
  } catch (const Platform::Exception&) {
  }
  try {
    msm::ParseSBXferAddress(text);
  } catch (const Platform::Exception&) {
  }
  bool found = false;
  msm::SwitchboardCookie(text, found);
  msm::SplitRecipients(text);
  try {
    msm::ChallengeFromReply(text);
  } catch (const Platform::Exception&) {
  }
  return 0;
}
