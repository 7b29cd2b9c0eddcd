// A small SMTP client for the e-mail notification: one blocking IPv4 connection,
// the opening (greeting, EHLO with HELO as fall-back), one mail transaction and the
// closing; optionally TLS (STARTTLS, or from the first byte) and a sign-in. Every
// connect, read and write waits at most its time limit; replies are parsed strictly
// with size caps. Failures raise SmtpError carrying a message.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Exceptions.h"
#include "UniqueFd.h"
#include "net/tcpConnect.h"

namespace net {
class TlsClient;
class TlsError;
}  // namespace net

namespace smtp {

class SmtpError : public Platform::Exception {
 public:
  using Platform::Exception::Exception;
};

// Time limits of one conversation, in milliseconds.
struct Limits {
  int connectMs = 60000;  // resolving and connecting
  int replyMs = 60000;    // each reply, and each write
};

// One reply: its code and its lines' texts (without the code and its separator).
struct Reply {
  int code = 0;
  std::vector<std::string> lines;
  // The reply as the server wrote it, lines joined by a blank: "550 5.1.1 No such user".
  std::string Text() const;
};

// Collects the lines of one reply. Each line is "ddd-text" (more follow) or "ddd text"
// or "ddd" (the last); every line of a reply carries the same code.
class ReplyParser {
 public:
  static constexpr std::size_t kMaxLines = 100;
  // Takes one line without its line end; true once the reply is complete. Raises
  // SmtpError on a line that is not a reply line, a change of code or too many lines.
  bool Feed(const std::string& line);
  const Reply& Result() const { return reply_; }

 private:
  Reply reply_;
};

// The name this computer gives itself in EHLO and HELO.
std::string LocalHostName();

// How the connection is protected. None is the plain dialogue; with StartTls the
// session turns to TLS after the first EHLO; with Tls it is TLS from the first byte.
// TLS asked for and not had fails the opening: there is no falling back to plain text.
enum class Security { None = 0, StartTls = 1, Tls = 2 };

// The parameters of an extension a reply to EHLO lists ("AUTH PLAIN LOGIN" gives
// {"PLAIN", "LOGIN"}, in upper case), or nothing when it does not list it.
std::optional<std::vector<std::string>> Extension(const Reply& ehlo, const std::string& keyword);
// Whether a peer at this IPv4 address (in network order) is this computer.
bool IsLoopback(std::uint32_t address);

class Client {
 public:
  Client(std::string host, int port, Limits limits = {}, Security security = Security::None);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Connects and opens the session: greeting 220, "EHLO name" answered by 250, or else
  // "HELO name" answered by 250. With Tls the handshake comes before the greeting; with
  // StartTls the first EHLO must list STARTTLS, "STARTTLS" must be answered by 220, and
  // after the handshake "EHLO name" again (250). Any failure closes the connection and
  // raises.
  void Open(const std::string& heloName);
  // Signs in with AUTH PLAIN, or AUTH LOGIN when the server lists only that; raises
  // with the server's reply when it refuses. Without TLS the password goes only to a
  // server on this computer: otherwise it raises before anything is sent.
  void SignIn(const std::string& user, const std::string& password);
  // One transaction: RSET (any reply), MAIL FROM (250), RCPT TO for each recipient
  // (250 or 251), DATA (354), the message with its closing "." (250). A reply other
  // than those raises with the reply's text. The message must already be dot-stuffed
  // with CR LF line ends; addresses must hold no CR or LF.
  void Send(const std::string& from, const std::vector<std::string>& recipients,
            const std::string& message);
  // Writes QUIT without waiting for its reply, then closes. Does nothing when closed.
  void Close();

  // Sees every line sent (true) and received (false), for debugging; may be empty.
  // Lines that carry a password are shown with it masked.
  std::function<void(bool sent, const std::string& line)> transcript;

 private:
  void Connect();
  void Disconnect();
  void StartTls();
  void WriteAll(const std::string& bytes);
  void WriteLine(const std::string& line, const char* shown = nullptr);
  std::string ReadLine(net::Deadline deadline);
  std::string ReadPlainLine(net::Deadline deadline);
  enum class TlsStep { Handshake, Read, Write };
  // The failure of a TLS step in this client's words.
  std::string TlsFailureText(const net::TlsError& error, TlsStep step) const;
  Reply ReadReply();
  Reply Command(const std::string& line, const char* shown = nullptr);
  void Expect(const Reply& reply, int code, int alternative = 0);

  std::string host_;
  int port_;
  Limits limits_;
  Security security_;
  Platform::UniqueFd fd_;  // non-blocking: every wait is a poll within a time limit
  std::string buffer_;
  std::unique_ptr<net::TlsClient> tls_;
  Reply ehlo_;  // the last reply to EHLO, empty after HELO
};

}  // namespace smtp
