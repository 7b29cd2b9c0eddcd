#include "SocketError.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace Platform {
namespace {

TEST(SocketErrorTest, ErrnoValuesMapToTheirWinsockCodes) {
  const struct {
    int err;
    int code;
  } cases[] = {
      {0, 0},
      {ECONNREFUSED, 10061},
      {ECONNRESET, 10054},
      {ETIMEDOUT, 10060},
      {EHOSTUNREACH, 10065},
      {ENETUNREACH, 10051},
      {EADDRINUSE, 10048},
      {EADDRNOTAVAIL, 10049},
      {EWOULDBLOCK, 10035},
      {EAGAIN, 10035},
      {EINPROGRESS, 10036},
      {EALREADY, 10037},
      {ENOTSOCK, 10038},
      {EMSGSIZE, 10040},
      {EINTR, 10004},
      {EBADF, 10009},
      {EACCES, 10013},
      {EFAULT, 10014},
      {EINVAL, 10022},
      {EMFILE, 10024},
      {ENOTCONN, 10057},
      {ESHUTDOWN, 10058},
      {EPIPE, 10058},
      {ECONNABORTED, 10053},
      {ENETDOWN, 10050},
      {ENETRESET, 10052},
      {ENOBUFS, 10055},
      {EISCONN, 10056},
      {EAFNOSUPPORT, 10047},
      {EPROTONOSUPPORT, 10043},
      {EOPNOTSUPP, 10045},
      {EHOSTDOWN, 10064},
      {ENAMETOOLONG, 10063},
      {ENOENT, WSAEINVAL},  // no socket counterpart
      {-5, WSAEINVAL},
      {99999, WSAEINVAL},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WinsockCodeFromErrno(c.err), c.code) << c.err;
}

TEST(SocketErrorTest, LookupResultsMapToTheHostErrorCodes) {
  EXPECT_EQ(WinsockCodeFromAddrInfo(0, 0), 0);
  EXPECT_EQ(WinsockCodeFromAddrInfo(EAI_NONAME, 0), 11001);
  EXPECT_EQ(WinsockCodeFromAddrInfo(EAI_NODATA, 0), 11001);
  EXPECT_EQ(WinsockCodeFromAddrInfo(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(WinsockCodeFromAddrInfo(EAI_FAIL, 0), 11003);
  EXPECT_EQ(WinsockCodeFromAddrInfo(EAI_ADDRFAMILY, 0), 11004);
  EXPECT_EQ(WinsockCodeFromAddrInfo(EAI_FAMILY, 0), 10047);
  EXPECT_EQ(WinsockCodeFromAddrInfo(EAI_SYSTEM, ECONNREFUSED), 10061);
  EXPECT_EQ(WinsockCodeFromAddrInfo(EAI_SYSTEM, 0), 11003);  // still reads as a failure
  EXPECT_EQ(WinsockCodeFromAddrInfo(EAI_MEMORY, 0), 11003);
  EXPECT_EQ(WinsockCodeFromAddrInfo(-12345, 0), 11003);
}

TEST(SocketErrorTest, TheLastErrorBelongsToTheThreadThatSetIt) {
  EXPECT_EQ(SetLastSocketErrorFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(WSAGetLastError(), 10061);
  int seenByOther = -1;
  std::thread other([&] {
    seenByOther = WSAGetLastError();
    SetLastSocketErrorFromAddrInfo(EAI_NONAME, 0);
    EXPECT_EQ(WSAGetLastError(), 11001);
  });
  other.join();
  EXPECT_EQ(seenByOther, 0);
  EXPECT_EQ(WSAGetLastError(), 10061);
  WSASetLastError(0);
  EXPECT_EQ(WSAGetLastError(), 0);
}

// A port bound but not listening refuses connections, without racing anyone for it.
TEST(SocketErrorTest, ARefusedConnectOnLoopbackReadsAs10061) {
  const int holder = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(holder, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  ASSERT_EQ(getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length), 0);

  const int client = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(client, 0);
  const int rc = connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
  const int err = errno;
  close(client);
  close(holder);
  ASSERT_NE(rc, 0);
  EXPECT_EQ(SetLastSocketErrorFromErrno(err), WSAECONNREFUSED);
  EXPECT_EQ(WSAGetLastError(), 10061);
}

TEST(SocketErrorTest, AnUnresolvableNameReadsAsHostNotFound) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = getaddrinfo("name.invalid", "1863", &hints, &result);
  const int err = errno;
  if (rc == 0)
    freeaddrinfo(result);
  ASSERT_NE(rc, 0) << "name.invalid resolved";
  const int code = SetLastSocketErrorFromAddrInfo(rc, err);
  if (code == WSATRY_AGAIN)
    GTEST_SKIP() << "no name server answers here (lookup said: try again)";
  EXPECT_EQ(code, WSAHOST_NOT_FOUND);
  EXPECT_EQ(WSAGetLastError(), 11001);
}

}  // namespace
}  // namespace Platform
