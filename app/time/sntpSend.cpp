#include "time/sntpSend.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>

#include "SocketError.h"

using Platform::SecsPerDay;
using Platform::TDateTime;

namespace sntp {

namespace {

constexpr double kTwoTo32 = 4294967296.0;
constexpr double kFractionScale = 4294967295.0;
// 1970-01-01 as a date-time.
constexpr double kUnixEpoch = 25569.0;

// A whole number as the 32-bit word it leaves in two's complement.
std::uint32_t Wrap32(double whole) {
  if (!std::isfinite(whole)) {
    return 0;
  }
  double m = std::fmod(whole, kTwoTo32);
  if (m < 0) {
    m += kTwoTo32;
  }
  return static_cast<std::uint32_t>(m);
}

std::uint32_t ReadWord(const TPacket& packet, std::size_t offset) {
  return (std::uint32_t{packet[offset]} << 24) | (std::uint32_t{packet[offset + 1]} << 16) |
         (std::uint32_t{packet[offset + 2]} << 8) | std::uint32_t{packet[offset + 3]};
}

void WriteWord(TPacket& packet, std::size_t offset, std::uint32_t word) {
  packet[offset] = static_cast<std::uint8_t>(word >> 24);
  packet[offset + 1] = static_cast<std::uint8_t>(word >> 16);
  packet[offset + 2] = static_cast<std::uint8_t>(word >> 8);
  packet[offset + 3] = static_cast<std::uint8_t>(word);
}

}  // namespace

TDateTime NtpToDateTime(std::uint32_t seconds, std::uint32_t fraction) {
  const double part = std::trunc(fraction / kFractionScale * 10000.0) / 10000.0;
  return (static_cast<double>(seconds) + part) / SecsPerDay + 2.0;
}

void DateTimeToNtp(TDateTime value, std::uint32_t& seconds, std::uint32_t& fraction) {
  const double v = (value - 2.0) * SecsPerDay;
  const double whole = std::trunc(v);
  seconds = Wrap32(whole);
  const double part = std::trunc((v - whole) * 10000.0) / 10000.0 * kFractionScale;
  fraction = Wrap32(std::trunc(part));
}

TDateTime ReadTimestamp(const TPacket& packet, std::size_t offset) {
  return NtpToDateTime(ReadWord(packet, offset), ReadWord(packet, offset + 4));
}

void WriteTimestamp(TPacket& packet, std::size_t offset, TDateTime value) {
  std::uint32_t seconds = 0, fraction = 0;
  DateTimeToNtp(value, seconds, fraction);
  WriteWord(packet, offset, seconds);
  WriteWord(packet, offset + 4, fraction);
}

TPacket BuildRequest(TDateTime t1) {
  TPacket request{};
  request[0] = 0x1B;
  WriteTimestamp(request, kOriginateOffset, t1);
  return request;
}

bool AnswerIsUsable(const TPacket& answer) {
  const int leap = answer[0] >> 6;
  const int mode = answer[0] & 0x07;
  const int stratum = answer[1];
  return leap < 3 && mode == 4 && stratum >= 1 && stratum <= 15 &&
         ReadWord(answer, kReceiveOffset) != 0 && ReadWord(answer, kTransmitOffset) != 0;
}

TExchangeResult ComputeExchange(TDateTime t1, TDateTime t2, TDateTime t3, TDateTime t4) {
  TExchangeResult result;
  // The round trip without the time the server held the request.
  const double delay = (t4 - t1) - (t3 - t2);
  result.NTPTime = t3 + delay / 2;
  result.NTPOffset = ((t2 - t1) + (t3 - t4)) / 2 * SecsPerDay;
  result.NTPDelay = delay * SecsPerDay;
  return result;
}

bool DelayIsPossible(double delaySeconds, int timeoutMs) {
  // The timestamps keep 0.1 ms each way, so a quick local answer may come out a little
  // below zero; a millisecond allows for that and nothing more.
  constexpr double kRoundingSeconds = 0.001;
  return delaySeconds >= -kRoundingSeconds &&
         delaySeconds <= std::max(timeoutMs, 0) / 1000.0 + kRoundingSeconds;
}

std::string OffsetText(double offsetDays) {
  // The time-of-day form drops the sign and whole days, leaving the size of the offset.
  return Platform::FormatDateTime("hh:nn:ss", offsetDays);
}

void SetSystemClockUTC(TDateTime utc) {
  const double unixSeconds = (utc - kUnixEpoch) * SecsPerDay;
  if (!std::isfinite(unixSeconds) || unixSeconds < 0) {
    return;
  }
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(std::floor(unixSeconds));
  ts.tv_nsec = static_cast<long>((unixSeconds - std::floor(unixSeconds)) * 1e9);
  if (ts.tv_nsec > 999999999) {
    ts.tv_nsec = 999999999;
  }
  (void)clock_settime(CLOCK_REALTIME, &ts);
}

}  // namespace sntp

TSNTPSend::TSNTPSend() {
  EnsureSocket();
}

TSNTPSend::~TSNTPSend() {
  if (socket_ >= 0) {
    close(socket_);
  }
}

bool TSNTPSend::EnsureSocket() {
  if (socket_ < 0) {
    socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (socket_ < 0) {
      Platform::SetLastSocketErrorFromErrno(errno);
    }
  }
  return socket_ >= 0;
}

void TSNTPSend::DrainStaleAnswers() {
  // An answer that came after an earlier exchange had given up would otherwise be
  // taken for the answer to this request.
  std::uint8_t scratch[512];
  while (recv(socket_, scratch, sizeof scratch, MSG_DONTWAIT) >= 0) {
  }
}

bool TSNTPSend::WaitForAnswer(sntp::TPacket& answer) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(Timeout > 0 ? Timeout : 0);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd waiter{socket_, POLLIN, 0};
    const int ready = poll(&waiter, 1, left > 0 ? static_cast<int>(left) : 0);
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready < 0) {
      Platform::SetLastSocketErrorFromErrno(errno);
      return false;
    }
    if (ready == 0) {
      Platform::WSASetLastError(Platform::WSAETIMEDOUT);
      return false;
    }
    std::uint8_t datagram[1024];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t got = recvfrom(socket_, datagram, sizeof datagram, 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      Platform::SetLastSocketErrorFromErrno(errno);
      return false;
    }
    // The socket is connected, so the kernel passes only the server's datagrams;
    // checked again so that nobody else's answer can ever move the clock.
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    if (getpeername(socket_, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
        from.sin_addr.s_addr != peer.sin_addr.s_addr || from.sin_port != peer.sin_port) {
      return false;
    }
    if (got < static_cast<ssize_t>(sntp::kPacketSize)) {
      return false;
    }
    std::memcpy(answer.data(), datagram, sntp::kPacketSize);
    return true;
  }
}

bool TSNTPSend::GetNTP() {
  if (TargetHost.empty()) {
    Platform::WSASetLastError(Platform::WSAHOST_NOT_FOUND);
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_protocol = IPPROTO_UDP;
  addrinfo* found = nullptr;
  const int lookup = getaddrinfo(TargetHost.c_str(), TargetPort.c_str(), &hints, &found);
  if (lookup != 0 || found == nullptr) {
    Platform::SetLastSocketErrorFromAddrInfo(lookup, errno);
    if (found != nullptr) {
      freeaddrinfo(found);
    }
    return false;
  }
  sockaddr_in server{};
  std::memcpy(&server, found->ai_addr, sizeof server);
  freeaddrinfo(found);

  if (!EnsureSocket()) {
    return false;
  }
  if (connect(socket_, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
    Platform::SetLastSocketErrorFromErrno(errno);
    return false;
  }
  DrainStaleAnswers();

  const TDateTime t1 = Platform::NowUTC();
  const sntp::TPacket request = sntp::BuildRequest(t1);
  if (send(socket_, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    Platform::SetLastSocketErrorFromErrno(errno);
    return false;
  }
  sntp::TPacket answer{};
  if (!WaitForAnswer(answer)) {
    return false;
  }
  const TDateTime t4 = Platform::NowUTC();
  NTPReply = answer;
  if (!sntp::AnswerIsUsable(answer)) {
    return false;
  }
  const sntp::TExchangeResult result =
      sntp::ComputeExchange(t1, sntp::ReadTimestamp(answer, sntp::kReceiveOffset),
                            sntp::ReadTimestamp(answer, sntp::kTransmitOffset), t4);
  if (!sntp::DelayIsPossible(result.NTPDelay, Timeout)) {
    return false;
  }
  NTPTime = result.NTPTime;
  NTPOffset = result.NTPOffset;
  NTPDelay = result.NTPDelay;
  if (SyncTime && std::fabs(NTPTime - t1) * SecsPerDay <= MaxSyncDiff) {
    if (SetClock) {
      SetClock(NTPTime);
    } else {
      sntp::SetSystemClockUTC(NTPTime);
    }
  }
  return true;
}
