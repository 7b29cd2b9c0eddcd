// The messenger's reading of replies and building of requests, and its socket helpers
// against sockets of the test's own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Exceptions.h"
#include "SocketError.h"
#include "UniqueFd.h"
#include "channels/messenger/msmProtocol.h"
#include "channels/messenger/msmSocket.h"

using namespace msm;

TEST(MessengerProtocol, ErrorCodesAndNames) {
  EXPECT_EQ(ParseMSMError("217 9\r\n").asName, "ERR_NOT_ONLINE_OR_AVAILABLE");
  EXPECT_EQ(ParseMSMError("911 2\r\n").iCode, 911);
  EXPECT_EQ(ParseMSMError("920").asName, "ERR_NOT_ACCEPTING_NEW_USERS");
  EXPECT_EQ(ParseMSMError("999 1\r\n").iCode, 999);
  EXPECT_EQ(ParseMSMError("999 1\r\n").asName, "");
  EXPECT_EQ(ParseMSMError("21").iCode, 0);
  EXPECT_EQ(ParseMSMError("XFR 2 NS 1.2.3.4:1863 0 5.6.7.8:1863\r\n").iCode, 0);
  EXPECT_EQ(ParseMSMError("-12 x").iCode, 0);
}

TEST(MessengerProtocol, RedirectAndSwitchboardAddresses) {
  const HostPort ns = ParseXferAddress("XFR 2 NS 10.0.0.5:1864 0 10.0.0.6:1863\r\n");
  EXPECT_EQ(ns.asHost, "10.0.0.5");
  EXPECT_EQ(ns.iPort, 1864);
  const HostPort none = ParseXferAddress("XFR 2 NS nowhere\r\n");
  EXPECT_EQ(none.asHost, "");
  EXPECT_EQ(none.iPort, 1863);
  EXPECT_THROW(ParseXferAddress("XFR 2 NS 10.0.0.5:1864"), Platform::Exception);
  EXPECT_THROW(ParseXferAddress("XFR 2 NS 10.0.0.5:port 0"), Platform::Exception);

  // Lines before the XFR, with colons of their own, are dropped first.
  const HostPort sb =
      ParseSBXferAddress("ILN 4 NLN a@b.c A:B 0\r\nXFR 5 SB sb.test:1865 CKI 172.63.1\r\n");
  EXPECT_EQ(sb.asHost, "sb.test");
  EXPECT_EQ(sb.iPort, 1865);
  bool found = false;
  EXPECT_EQ(SwitchboardCookie("XFR 5 SB sb.test:1865 CKI 172.63.1\r\n", found), "172.63.1");
  EXPECT_TRUE(found);
  EXPECT_EQ(SwitchboardCookie("XFR 5 SB sb.test:1865 CKI 172.63.1", found), "");
  EXPECT_TRUE(found);
  SwitchboardCookie("XFR 5 SB sb.test:1865\r\n", found);
  EXPECT_FALSE(found);
}

TEST(MessengerProtocol, RecipientsChallengeAndTicket) {
  using List = std::vector<std::string>;
  EXPECT_EQ(SplitRecipients("a;b"), (List{"a", "b"}));
  EXPECT_EQ(SplitRecipients("a;;b"), (List{"a", "", "b"}));
  EXPECT_EQ(SplitRecipients("a;"), (List{"a"}));
  EXPECT_EQ(SplitRecipients(" a; b "), (List{" a", " b "}));

  EXPECT_EQ(ChallengeFromReply("USR 2 TWN S lc=1033,id=507\r\n"), "lc=1033,id=507");
  EXPECT_EQ(ChallengeFromReply("USR 2 TWN S ct=1"), "ct=1");
  EXPECT_THROW(ChallengeFromReply("USR 2 TWN\r\n"), Platform::Exception);

  EXPECT_EQ(TicketFromAuthenticationInfo(
                "Authentication-Info: Passport1.4 da-status=success,from-PP='t=a&p=b',ru=x"),
            "t=a&p=b");
  EXPECT_EQ(TicketFromAuthenticationInfo("Authentication-Info: from-PP='t=open"), "t=open");
  EXPECT_EQ(TicketFromAuthenticationInfo("Authentication-Info: none"), "Authentication-Info: none");

  EXPECT_EQ(PassportAccount("me@one@two"), "me%40one@two");
  EXPECT_EQ(NexusValues("PassportURLs: DARealm=Passport.Net,DALogin=login.test/login2.srf,"
                        "DAReg=x\r\nContent-Length: 0\r\n"),
            (List{"Passport.Net", "login.test/login2.srf", "x\r\nContent-Length: 0\r\n"}));
}

TEST(MessengerProtocol, LoginServerFromTheNexusAnswer) {
  // The classic list: DALogin is also the second value.
  EXPECT_EQ(NexusLoginServer("PassportURLs: DARealm=Passport.Net,DALogin=login.test/login2.srf,"
                             "DAReg=x\r\nContent-Length: 0\r\n"),
            "login.test/login2.srf");
  // The single value of today's servers, with its scheme and the lines after it.
  EXPECT_EQ(NexusLoginServer("PassportURLs: DALogin=https://rev.test:8443/RST.srf\r\n"
                             "Content-Length: 0\r\n"),
            "rev.test:8443/RST.srf");
  EXPECT_EQ(NexusLoginServer("passporturls: dalogin=HTTP://rev.test/x"), "rev.test/x");
  // Named anywhere in the list, it wins over the second value.
  EXPECT_EQ(NexusLoginServer("PassportURLs: DARealm=P,DAReg=r.test,DALOGIN=l.test/y"), "l.test/y");
  // Without the name, the second value as it always was; with neither, nothing.
  EXPECT_EQ(NexusLoginServer("X: A=one,B=two.test/z\r\n"), "two.test/z");
  EXPECT_EQ(NexusLoginServer("PassportURLs: DARealm=Passport.Net\r\n"), "");
  EXPECT_EQ(NexusLoginServer("PassportURLs: DALogin=\r\nX: A=b,C=d\r\n"), "");

  EXPECT_TRUE(HoldsLineBreak("a\rb"));
  EXPECT_TRUE(HoldsLineBreak("a\nb"));
  EXPECT_TRUE(HoldsLineBreak(std::string("a\0b", 3)));
  EXPECT_FALSE(HoldsLineBreak("pa,ss word\t"));
}

TEST(MessengerProtocol, LoginAddresses) {
  const LoginAddress plain = SplitLoginAddress("https://login.test/login2.srf");
  EXPECT_EQ(plain.asHost, "login.test");
  EXPECT_EQ(plain.iPort, 443);
  EXPECT_EQ(plain.asHostLine, "login.test");
  EXPECT_EQ(plain.asPath, "/login2.srf");
  const LoginAddress revival = SplitLoginAddress("https://127.0.0.1:8443/a/b?c=d");
  EXPECT_EQ(revival.asHost, "127.0.0.1");
  EXPECT_EQ(revival.iPort, 8443);
  EXPECT_EQ(revival.asHostLine, "127.0.0.1:8443");
  EXPECT_EQ(revival.asPath, "/a/b?c=d");
  EXPECT_EQ(SplitLoginAddress("login.test").asPath, "");
  EXPECT_THROW(SplitLoginAddress("https://login.test:x/"), Platform::Exception);
  EXPECT_EQ(MessagePayload("hi").size(), 49u);
}

TEST(MessengerSocket, ErrorTexts) {
  EXPECT_EQ(SocketErrorText("Calling recv()", 10054),
            "Calling recv(): Connection reset by peer (10054)");
  EXPECT_EQ(SocketErrorText("X", 10099), "X: unknown error (10099)");
  EXPECT_EQ(SocketErrorText("X", 11004), "X: No host data of that type was found (11004)");
  EXPECT_EQ(SocketErrorText(std::string(300, 'c'), 10054).size(), 255u);
}

namespace {

// A listening socket on 127.0.0.1 and a port nobody listens on.
int Listen(int& port, bool listening = true) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (listening) {
    ::listen(fd, 4);
  }
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

TEST(MessengerSocket, ConnectPollAndGracefulClose) {
  int closedPort = 0;
  Platform::UniqueFd closed(Listen(closedPort, false));
  EXPECT_EQ(ConnectSocket("127.0.0.1", closedPort, 1000), -1);
  EXPECT_EQ(SocketErrorText("Calling ConnectToHost()", 0),
            "Calling ConnectToHost(): Connection refused (10061)");
  closed.reset();
  EXPECT_EQ(ConnectSocket("", 1863, 1000), -1);
  EXPECT_EQ(Platform::WSAGetLastError(), Platform::WSAHOST_NOT_FOUND);

  int port = 0;
  const Platform::UniqueFd listener(Listen(port));
  const int client = ConnectSocket("127.0.0.1", port, 1000);
  ASSERT_GE(client, 0);
  const Platform::UniqueFd peer(::accept(listener.get(), nullptr, nullptr));
  EXPECT_FALSE(CheckForSocketData(client, nullptr, 50));
  ::send(peer.get(), "0123456789", 10, 0);
  EXPECT_TRUE(CheckForSocketData(client, nullptr, 1000));
  ::shutdown(peer.get(), SHUT_WR);

  testing::internal::CaptureStderr();
  EXPECT_TRUE(CloseSocketGracefully(client, 1000));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "FYI, received 10 unexpected bytes during shutdown.\n");

  // A peer that never closes: the drain gives up at its bound.
  const int silent = ConnectSocket("127.0.0.1", port, 1000);
  const Platform::UniqueFd silentPeer(::accept(listener.get(), nullptr, nullptr));
  EXPECT_FALSE(CloseSocketGracefully(silent, 100));
  std::string into;
  EXPECT_EQ(ReceiveText(silentPeer.get(), into, 10, 50), 0);  // our side did close
}
