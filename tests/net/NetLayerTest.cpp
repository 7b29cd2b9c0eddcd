// The TCP and TLS layer on its own: a connect that is refused, one that is never answered,
// and a TLS server that stops sending in the middle of a line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <string>
#include <thread>

#include "LoopbackSocket.h"
#include "MessengerTestServers.h"
#include "SocketError.h"
#include "UniqueFd.h"
#include "net/tcpConnect.h"
#include "net/tlsClient.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

net::Deadline In(int ms) {
  return steady_clock::now() + milliseconds(ms);
}

// A TLS server for one connection, with a self-signed certificate made for it: it sends
// its text and then nothing more, until the client goes.
class StallingTlsServer {
 public:
  explicit StallingTlsServer(std::string text) : text_(std::move(text)) {
    ctx_ = testsupport::NewSelfSignedServerContext();
    if (ctx_ != nullptr) {
      listener_.reset(testsupport::ListenOnLoopback(port_));
    }
    if (listener_) {
      thread_ = std::thread([this] { Serve(); });
    }
  }
  ~StallingTlsServer() {
    if (thread_.joinable()) {
      thread_.join();
    }
    SSL_CTX_free(ctx_);
  }
  int Port() const { return listener_ ? port_ : 0; }

 private:
  void Serve() {
    pollfd entry{listener_.get(), POLLIN, 0};
    if (::poll(&entry, 1, 5000) != 1) {
      return;
    }
    const Platform::UniqueFd fd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    timeval limit{5, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    SSL* ssl = SSL_new(ctx_);
    SSL_set_fd(ssl, fd.get());
    if (SSL_accept(ssl) == 1) {
      SSL_write(ssl, text_.data(), static_cast<int>(text_.size()));
      char byte;
      SSL_read(ssl, &byte, 1);  // returns when the client has gone, or after 5 s
    }
    SSL_free(ssl);
  }

  std::string text_;
  SSL_CTX* ctx_ = nullptr;
  Platform::UniqueFd listener_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace

TEST(TcpConnect, RefusedAnsweredAndUnansweredPorts) {
  int port = 0;
  Platform::UniqueFd closed(testsupport::BindLoopback(port));
  ASSERT_TRUE(closed);
  net::Connection refused = net::TcpConnect("127.0.0.1", port, In(2000));
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.code, Platform::WSAECONNREFUSED);
  EXPECT_EQ(refused.systemText, "Connection refused");
  EXPECT_EQ(Platform::WSAGetLastError(), Platform::WSAECONNREFUSED);

  // A listener whose queue holds one connection: the first is taken in, blocking and not
  // inherited by children; the system drops the next one's calls unanswered, as a
  // black-holed address does, and the connect gives up at its deadline.
  Platform::UniqueFd listener(testsupport::ListenOnLoopback(port));
  ASSERT_TRUE(listener);
  ASSERT_EQ(::listen(listener.get(), 0), 0);
  net::Connection first = net::TcpConnect("localhost", port, In(2000));
  ASSERT_TRUE(first) << first.systemText;
  EXPECT_EQ(Platform::WSAGetLastError(), 0);
  EXPECT_EQ(::fcntl(first.fd.get(), F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(::fcntl(first.fd.get(), F_GETFD) & FD_CLOEXEC, 0);
  pollfd queued{listener.get(), POLLIN, 0};
  ASSERT_EQ(::poll(&queued, 1, 2000), 1) << "the first connection is waiting to be accepted";

  net::Connection unanswered = net::TcpConnect("127.0.0.1", port, In(200));
  EXPECT_FALSE(unanswered);
  EXPECT_EQ(unanswered.code, Platform::WSAETIMEDOUT);
  EXPECT_EQ(Platform::WSAGetLastError(), Platform::WSAETIMEDOUT);
}

TEST(TlsClient, APeerThatStopsInTheMiddleOfALineEndsTheReadAtItsDeadline) {
  StallingTlsServer server("first line\r\nsecond li");
  ASSERT_NE(server.Port(), 0);
  net::Connection connection = net::TcpConnect("127.0.0.1", server.Port(), In(5000));
  ASSERT_TRUE(connection);
  const net::TlsContext context(net::PeerCheck::None);
  net::TlsClient client(context, connection.fd.get(), "127.0.0.1", In(5000));
  EXPECT_EQ(client.ReadLine(In(5000), 100), "first line");
  try {
    client.ReadLine(In(200), 100);
    ADD_FAILURE() << "a line without its end was read";
  } catch (const net::TlsError& e) {
    EXPECT_EQ(e.WhatFailed(), net::TlsError::Cause::TimedOut) << e.what();
    EXPECT_EQ(e.Code(), Platform::WSAETIMEDOUT);
  }
  // The bytes that came are kept: a line cut at its longest reads them.
  EXPECT_EQ(client.ReadLine(In(200), 6), "second");
}
