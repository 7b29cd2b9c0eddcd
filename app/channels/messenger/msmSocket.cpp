#include "channels/messenger/msmSocket.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "SocketError.h"
#include "UniqueFd.h"
#include "net/tcpConnect.h"

namespace msm {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for events on one socket; 1 ready, 0 time out (last error 10060), -1 failure.
int WaitFor(int socket, short events, int timeoutMs) {
  pollfd entry{socket, events, 0};
  for (;;) {
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready > 0) {
      return 1;
    }
    if (ready == 0) {
      Platform::WSASetLastError(Platform::WSAETIMEDOUT);
      return 0;
    }
    if (errno != EINTR) {
      Platform::SetLastSocketErrorFromErrno(errno);
      return -1;
    }
  }
}

}  // namespace

const std::vector<SocketErrorEntry>& SocketErrorTable() {
  static const std::vector<SocketErrorEntry> table = [] {
    std::vector<SocketErrorEntry> rows{
        {0, "No error"},
        {10004, "Interrupted system call"},
        {10009, "Bad file number"},
        {10013, "Permission denied"},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open sockets"},
        {10035, "Operation would block"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on non-socket"},
        {10039, "Destination address required"},
        {10040, "Message too long"},
        {10041, "Protocol wrong type for socket"},
        {10042, "Bad protocol option"},
        {10043, "Protocol not supported"},
        {10044, "Socket type not supported"},
        {10045, "Operation not supported on socket"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported"},
        {10048, "Address already in use"},
        {10049, "Can't assign requested address"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Net connection reset"},
        {10053, "Software caused connection abort"},
        {10054, "Connection reset by peer"},
        {10055, "No buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references, can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name too long"},
        {10064, "Host is down"},
        {10065, "No route to host"},
        {10066, "Directory not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disc quota exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network system is unavailable"},
        {10092, "Winsock version out of range"},
        {10093, "WSAStartup not yet called"},
        {10101, "Graceful shutdown in progress"},
        {11001, "Host not found"},
        {11004, "No host data of that type was found"},
    };
    std::sort(rows.begin(), rows.end(), [](const SocketErrorEntry& a, const SocketErrorEntry& b) {
      return a.iCode < b.iCode;
    });
    return rows;
  }();
  return table;
}

std::string SocketErrorText(const std::string& context, int code) {
  if (code == 0) {
    code = Platform::WSAGetLastError();
  }
  const std::vector<SocketErrorEntry>& table = SocketErrorTable();
  const auto row = std::lower_bound(
      table.begin(), table.end(), code,
      [](const SocketErrorEntry& entry, int wanted) { return entry.iCode < wanted; });
  const char* text = (row != table.end() && row->iCode == code) ? row->asText : "unknown error";
  std::string result = context + ": " + text + " (" + std::to_string(code) + ")";
  if (result.size() > 255) {
    result.resize(255);
  }
  return result;
}

int ConnectSocket(const std::string& host, int port, int timeoutMs) {
  // The outcome is left as the thread's last socket error, where the caller reads it.
  return net::TcpConnect(host, port, Clock::now() + std::chrono::milliseconds(timeoutMs))
      .fd.release();
}

bool CheckForSocketData(int socket, const std::vector<int>* set, int waitMs) {
  std::vector<pollfd> entries;
  if (set == nullptr) {
    entries.push_back(pollfd{socket, POLLIN, 0});
  } else {
    for (int fd : *set) {
      entries.push_back(pollfd{fd, POLLIN, 0});
    }
  }
  int ready = -1;
  while ((ready = ::poll(entries.data(), entries.size(), waitMs)) < 0 && errno == EINTR) {
  }
  if (ready < 0) {
    Platform::SetLastSocketErrorFromErrno(errno);
    throw SocketWaitError(SocketErrorText("Calling select: ", 0));
  }
  if (ready == 0) {
    return false;
  }
  return std::any_of(entries.begin(), entries.end(), [socket](const pollfd& entry) {
    return entry.fd == socket && entry.revents != 0;
  });
}

int SendText(int socket, const std::string& text) {
  const ssize_t sent = ::send(socket, text.data(), text.size(), MSG_NOSIGNAL);
  if (sent < 0) {
    Platform::SetLastSocketErrorFromErrno(errno);
    return -1;
  }
  return static_cast<int>(sent);
}

int ReceiveText(int socket, std::string& into, int maxBytes, int timeoutMs) {
  if (socket < 0) {
    Platform::WSASetLastError(Platform::WSAENOTSOCK);
    return -1;
  }
  if (maxBytes <= 0) {
    return 0;  // a full buffer reads as a closed connection, which ends the exchange
  }
  const int ready = WaitFor(socket, POLLIN, timeoutMs);
  if (ready != 1) {
    return -1;
  }
  std::string chunk(static_cast<std::size_t>(maxBytes), '\0');
  ssize_t got = -1;
  while ((got = ::recv(socket, chunk.data(), chunk.size(), 0)) < 0 && errno == EINTR) {
  }
  if (got < 0) {
    Platform::SetLastSocketErrorFromErrno(errno);
    return -1;
  }
  chunk.resize(static_cast<std::size_t>(got));
  into += chunk.substr(0, chunk.find('\0'));
  return static_cast<int>(got);
}

bool CloseSocketGracefully(int socket, int drainMs) {
  if (socket < 0) {
    return false;
  }
  // Closed on every way out, even when it cannot be shut down.
  Platform::UniqueFd owned(socket);
  if (::shutdown(socket, SHUT_WR) != 0) {
    Platform::SetLastSocketErrorFromErrno(errno);
    return false;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(drainMs);
  char chunk[1024];
  bool peerClosed = false;
  for (;;) {
    if (WaitFor(socket, POLLIN, net::MillisecondsLeft(deadline)) != 1) {
      break;
    }
    const ssize_t got = ::recv(socket, chunk, sizeof chunk, 0);
    if (got == 0) {
      peerClosed = true;
      break;
    }
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      Platform::SetLastSocketErrorFromErrno(errno);
      break;
    }
    std::fprintf(stderr, "FYI, received %d unexpected bytes during shutdown.\n",
                 static_cast<int>(got));
  }
  // The socket was open just now, so closing it cannot fail for want of one; Linux
  // releases it even when close reports an interruption.
  return peerClosed;
}

}  // namespace msm
