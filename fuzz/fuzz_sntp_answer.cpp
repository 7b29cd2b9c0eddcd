// A time server's answer: the checks, its timestamps and the offset and delay worked
// out from them.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "time/sntpSend.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < sntp::kPacketSize + 16) {
    return 0;
  }
  sntp::TPacket answer{};
  std::memcpy(answer.data(), data, sntp::kPacketSize);
  if (!sntp::AnswerIsUsable(answer)) {
    return 0;
  }
  std::uint32_t raw[4];
  std::memcpy(raw, data + sntp::kPacketSize, sizeof raw);
  const Platform::TDateTime t1 = sntp::NtpToDateTime(raw[0], raw[1]);
  const Platform::TDateTime t2 = sntp::ReadTimestamp(answer, sntp::kReceiveOffset);
  const Platform::TDateTime t3 = sntp::ReadTimestamp(answer, sntp::kTransmitOffset);
  const Platform::TDateTime t4 = sntp::NtpToDateTime(raw[2], raw[3]);
  const sntp::TExchangeResult result = sntp::ComputeExchange(t1, t2, t3, t4);
  (void)sntp::OffsetText(result.NTPOffset / 86400.0);
  return 0;
}
