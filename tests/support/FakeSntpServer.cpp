#include "FakeSntpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace testsupport {

namespace {

constexpr double kSecondsFrom1900To1970 = 2208988800.0;

void PutWord(std::vector<std::uint8_t>& packet, std::size_t offset, std::uint32_t word) {
  packet[offset] = static_cast<std::uint8_t>(word >> 24);
  packet[offset + 1] = static_cast<std::uint8_t>(word >> 16);
  packet[offset + 2] = static_cast<std::uint8_t>(word >> 8);
  packet[offset + 3] = static_cast<std::uint8_t>(word);
}

void PutNow(std::vector<std::uint8_t>& packet, std::size_t offset, double aheadSecs,
            bool zeroSeconds) {
  std::uint32_t seconds = 0, fraction = 0;
  NtpNow(aheadSecs, seconds, fraction);
  PutWord(packet, offset, zeroSeconds ? 0 : seconds);
  PutWord(packet, offset + 4, fraction);
}

std::vector<std::uint8_t> Answer(const SntpReply& reply, const std::uint8_t* request,
                                 double aheadSecs) {
  std::vector<std::uint8_t> packet(std::max<std::size_t>(reply.length, 48), 0);
  packet[0] = reply.firstByte;
  packet[1] = reply.stratum;
  packet[2] = 6;     // poll
  packet[3] = 0xEC;  // precision
  // As servers do: the request's transmit timestamp comes back as the originate one.
  std::memcpy(packet.data() + 24, request + 40, 8);
  PutNow(packet, 16, aheadSecs - 60, false);
  PutNow(packet, 32, aheadSecs + reply.receiveSkewSecs, reply.zeroReceiveSeconds);
  if (reply.holdMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(reply.holdMs));
  }
  PutNow(packet, 40, aheadSecs, reply.zeroTransmitSeconds);
  packet.resize(reply.length);
  return packet;
}

}  // namespace

void NtpNow(double aheadSecs, std::uint32_t& seconds, std::uint32_t& fraction) {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  const double unixSecs = std::chrono::duration<double>(sinceEpoch).count() + aheadSecs;
  const double ntp = unixSecs + kSecondsFrom1900To1970;
  const double whole = std::floor(ntp);
  seconds = static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole));
  fraction = static_cast<std::uint32_t>((ntp - whole) * 4294967296.0);
}

FakeSntpServer::FakeSntpServer() {
  socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (socket_ < 0 || bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("the test's time server cannot open its socket");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

FakeSntpServer::~FakeSntpServer() {
  stop_ = true;
  thread_.join();
  close(socket_);
}

void FakeSntpServer::Script(std::vector<SntpReply> replies) {
  std::lock_guard<std::mutex> lock(lock_);
  script_ = std::move(replies);
}

std::vector<std::uint8_t> FakeSntpServer::LastRequest() const {
  std::lock_guard<std::mutex> lock(lock_);
  return lastRequest_;
}

std::vector<std::uint16_t> FakeSntpServer::ClientPorts() const {
  std::lock_guard<std::mutex> lock(lock_);
  return clientPorts_;
}

void FakeSntpServer::Serve() {
  while (!stop_) {
    pollfd waiter{socket_, POLLIN, 0};
    if (poll(&waiter, 1, 20) <= 0) {
      continue;
    }
    std::uint8_t request[512];
    sockaddr_in client{};
    socklen_t clientLength = sizeof client;
    const ssize_t got = recvfrom(socket_, request, sizeof request, 0,
                                 reinterpret_cast<sockaddr*>(&client), &clientLength);
    if (got < 48) {
      continue;
    }
    SntpReply reply;
    {
      std::lock_guard<std::mutex> lock(lock_);
      const std::size_t index =
          std::min<std::size_t>(static_cast<std::size_t>(requests_.load()), script_.size() - 1);
      reply = script_[index];
      lastRequest_.assign(request, request + got);
      clientPorts_.push_back(ntohs(client.sin_port));
    }
    ++requests_;
    const auto to = reinterpret_cast<const sockaddr*>(&client);
    if (reply.strayFirst) {
      const int stray = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      SntpReply good;
      const auto packet = Answer(good, request, reply.strayAheadSecs);
      (void)sendto(stray, packet.data(), packet.size(), 0, to, clientLength);
      close(stray);
      // Give the stray a head start so that it would be read first if it were let in.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (reply.answer) {
      const auto packet = Answer(reply, request, reply.serverAheadSecs);
      (void)sendto(socket_, packet.data(), packet.size(), 0, to, clientLength);
    }
  }
}

}  // namespace testsupport
