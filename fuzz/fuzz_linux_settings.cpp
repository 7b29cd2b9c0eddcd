// The Linux programs' settings the auto-detection reads: a proxy variable, an msmtp
// configuration and a git configuration.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "linuxSettingsSources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string proxy = input.ConsumeRandomLengthString(256);
  const std::string msmtp = input.ConsumeRandomLengthString(4096);
  const std::string git = input.ConsumeRemainingBytesAsString();
  (void)linux_sources::ParseProxy(proxy);
  (void)linux_sources::ParseGitSendEmail(git, linux_sources::ParseMsmtp(msmtp));
  return 0;
}
