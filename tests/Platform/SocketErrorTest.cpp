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

// A TCP socket bound to a free loopback port, which `address` then names; -1 on failure.
int BoundOnLoopback(sockaddr_in& address) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) {
      close(fd);
    }
    return -1;
  }
  return fd;
}

// An errno with no socket meaning still reads as a failure, never as success.
TEST(SocketErrorTest, AnErrnoWithoutASocketMeaningReadsAsInvalid) {
  EXPECT_EQ(WinsockCodeFromErrno(0), 0);
  EXPECT_EQ(WinsockCodeFromErrno(ENOENT), WSAEINVAL);
  EXPECT_EQ(WinsockCodeFromErrno(-5), WSAEINVAL);
}

// A peer that aborts the connection (linger 0) makes the next read fail with a reset.
TEST(SocketErrorTest, AConnectionResetByThePeerReadsAs10054) {
  sockaddr_in address{};
  const int listener = BoundOnLoopback(address);
  ASSERT_GE(listener, 0);
  ASSERT_EQ(listen(listener, 1), 0);

  const int client = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(client, 0);
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const int served = accept(listener, nullptr, nullptr);
  ASSERT_GE(served, 0);
  const linger abort{1, 0};
  ASSERT_EQ(setsockopt(served, SOL_SOCKET, SO_LINGER, &abort, sizeof abort), 0);
  close(served);
  char byte = 0;
  const ssize_t got = recv(client, &byte, 1, 0);
  const int err = errno;
  close(client);
  close(listener);
  ASSERT_LT(got, 0);
  EXPECT_EQ(SetLastSocketErrorFromErrno(err), 10054);
  EXPECT_EQ(WSAGetLastError(), 10054);
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
  sockaddr_in address{};
  const int holder = BoundOnLoopback(address);
  ASSERT_GE(holder, 0);

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
