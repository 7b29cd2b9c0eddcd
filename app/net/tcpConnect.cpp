#include "net/tcpConnect.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "SocketError.h"

namespace net {

namespace {

Connection FailedWithErrno(int err) {
  Connection failed;
  failed.code = Platform::SetLastSocketErrorFromErrno(err);
  failed.systemText = std::strerror(err);
  return failed;
}

// Waits until the connect in progress on fd has an outcome; its errno value, ETIMEDOUT
// when the deadline comes first.
int AwaitConnect(int fd, Deadline deadline) {
  for (;;) {
    pollfd entry{fd, POLLOUT, 0};
    const int ready = ::poll(&entry, 1, MillisecondsLeft(deadline));
    if (ready == 0) {
      return ETIMEDOUT;
    }
    if (ready < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
      return errno;
    }
    return error;
  }
}

}  // namespace

int MillisecondsLeft(Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
  return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}

Connection TcpConnect(const std::string& host, int port, Deadline deadline) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int eai = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (eai != 0 || found == nullptr) {
    const int lookupErrno = errno;
    Connection failed;
    failed.code =
        Platform::SetLastSocketErrorFromAddrInfo(eai != 0 ? eai : EAI_NONAME, lookupErrno);
    failed.systemText = ::gai_strerror(eai != 0 ? eai : EAI_NONAME);
    if (found != nullptr) {
      ::freeaddrinfo(found);
    }
    return failed;
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  ::freeaddrinfo(found);
  address.sin_port = htons(static_cast<std::uint16_t>(port));

  // Without blocking, so that an address that never answers costs at most the time left.
  Platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) {
    return FailedWithErrno(errno);
  }
  int err = 0;
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    err = errno == EINPROGRESS ? AwaitConnect(fd.get(), deadline) : errno;
  }
  if (err != 0) {
    return FailedWithErrno(err);
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return FailedWithErrno(errno);
  }
  Platform::WSASetLastError(0);
  Connection connected;
  connected.fd = std::move(fd);
  return connected;
}

}  // namespace net
