// A time server of the test's own on 127.0.0.1: answers each SNTP request as
// scripted, with its own reading of the clock, so tests can play good, bad, slow,
// silent and impersonated servers without ever reaching the network.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace testsupport {

struct SntpReply {
  double serverAheadSecs = 0.0;   // the server's clock minus this computer's
  std::uint8_t firstByte = 0x1C;  // LI 0, version 3, mode 4 (server)
  std::uint8_t stratum = 2;
  std::size_t length = 48;
  bool zeroReceiveSeconds = false;
  bool zeroTransmitSeconds = false;
  int holdMs = 0;           // between reading the receive time and the transmit time
  bool answer = true;       // false: the request goes unanswered
  bool strayFirst = false;  // first a good-looking answer from another port of 127.0.0.1
  double strayAheadSecs = 1800.0;
  double receiveSkewSecs = 0.0;  // the receive time this far off the server's own clock
};

class FakeSntpServer {
 public:
  FakeSntpServer();
  ~FakeSntpServer();
  FakeSntpServer(const FakeSntpServer&) = delete;
  FakeSntpServer& operator=(const FakeSntpServer&) = delete;

  std::uint16_t Port() const { return port_; }
  // Replies to the coming requests in order; the last one repeats.
  void Script(std::vector<SntpReply> replies);
  int Requests() const { return requests_.load(); }
  std::vector<std::uint8_t> LastRequest() const;
  std::vector<std::uint16_t> ClientPorts() const;

 private:
  void Serve();

  int socket_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  mutable std::mutex lock_;
  std::vector<SntpReply> script_{SntpReply{}};
  std::vector<std::uint8_t> lastRequest_;
  std::vector<std::uint16_t> clientPorts_;
  std::thread thread_;
};

// The current time as an NTP timestamp (seconds since 1900 and a 32-bit fraction),
// worked out independently of the program's conversions.
void NtpNow(double aheadSecs, std::uint32_t& seconds, std::uint32_t& fraction);

}  // namespace testsupport
