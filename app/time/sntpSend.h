// The SNTP client the supervisor asks the time server with: one 48-byte request,
// one answer, the offset and delay worked out from the four timestamps, and,
// when asked to, the computer's clock set from the answer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "DateTime.h"

namespace sntp {

inline constexpr std::size_t kPacketSize = 48;
using TPacket = std::array<std::uint8_t, kPacketSize>;

// A timestamp as it travels: seconds since 1900-01-01 00:00 UTC and a 32-bit fraction.
// Both directions keep 0.1 ms of the fraction; seconds are taken as unsigned on the
// way in and wrap to 32 bits on the way out.
Platform::TDateTime NtpToDateTime(std::uint32_t seconds, std::uint32_t fraction);
void DateTimeToNtp(Platform::TDateTime value, std::uint32_t& seconds, std::uint32_t& fraction);

// Big-endian timestamp at a byte offset of a packet.
Platform::TDateTime ReadTimestamp(const TPacket& packet, std::size_t offset);
void WriteTimestamp(TPacket& packet, std::size_t offset, Platform::TDateTime value);

inline constexpr std::size_t kOriginateOffset = 24, kReceiveOffset = 32, kTransmitOffset = 40;

// The client request: version 3, mode 3, the sending time t1 as originate timestamp.
TPacket BuildRequest(Platform::TDateTime t1);
// LI below 3, mode 4, stratum 1 to 15, receive and transmit seconds not 0.
bool AnswerIsUsable(const TPacket& answer);

struct TExchangeResult {
  Platform::TDateTime NTPTime = 0.0;  // the server's time when the answer arrived, UTC
  double NTPOffset = 0.0;             // seconds, positive when the server is ahead
  double NTPDelay = 0.0;              // round trip in seconds, the server's own time left out
};
// t1 sent, t2 received by the server, t3 sent by the server, t4 received here.
TExchangeResult ComputeExchange(Platform::TDateTime t1, Platform::TDateTime t2,
                                Platform::TDateTime t3, Platform::TDateTime t4);

// A round trip can neither take negative time nor outlast the wait for the answer; an
// answer whose timestamps say otherwise is bogus and must not set the clock.
bool DelayIsPossible(double delaySeconds, int timeoutMs);

// The size of an offset (days) as "hh:nn:ss": sign and whole days dropped.
std::string OffsetText(double offsetDays);

// Sets the computer's clock to a UTC date-time; the outcome is not reported.
void SetSystemClockUTC(Platform::TDateTime utc);

}  // namespace sntp

class TSNTPSend {
 public:
  using TSetClock = std::function<void(Platform::TDateTime utc)>;

  TSNTPSend();
  ~TSNTPSend();
  TSNTPSend(const TSNTPSend&) = delete;
  TSNTPSend& operator=(const TSNTPSend&) = delete;

  std::string TargetHost = "localhost";
  std::string TargetPort = "123";
  int Timeout = 5000;  // ms to wait for the answer
  bool SyncTime = false;
  double MaxSyncDiff = 3600.0;  // seconds; a larger difference is never corrected
  // Sets the clock when SyncTime allows it; empty means the computer's own clock.
  TSetClock SetClock;

  Platform::TDateTime NTPTime = 0.0;
  double NTPOffset = 0.0;
  double NTPDelay = 0.0;
  sntp::TPacket NTPReply{};

  // One request and its answer. False when the host does not resolve, a socket call
  // fails, nothing usable arrives within Timeout, or the answer fails a check (its
  // round-trip delay among them: negative or longer than Timeout); the
  // socket error of the failure stays in the thread's last socket error.
  bool GetNTP();

 private:
  bool EnsureSocket();
  void DrainStaleAnswers();
  bool WaitForAnswer(sntp::TPacket& answer);

  int socket_ = -1;
};
