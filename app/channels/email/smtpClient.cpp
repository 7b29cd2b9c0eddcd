#include "channels/email/smtpClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>

#include "SocketError.h"
#include "channels/email/mailMessage.h"
#include "net/tlsClient.h"

namespace smtp {

namespace {

// A reply line longer than this is not from an SMTP server (the limit is 512).
constexpr std::size_t kMaxLineLength = 4096;

net::Deadline After(int milliseconds) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

// "Socket Error # 10061 Connection refused.": the code as the logs have always shown it.
std::string SocketMessage(int code) {
  const char* text = nullptr;
  switch (code) {
    case Platform::WSAECONNREFUSED:
      text = "Connection refused.";
      break;
    case Platform::WSAETIMEDOUT:
      text = "Connection timed out.";
      break;
    case Platform::WSAECONNRESET:
      text = "Connection reset by peer.";
      break;
    case Platform::WSAEHOSTUNREACH:
      text = "No route to host.";
      break;
    case Platform::WSAENETUNREACH:
      text = "Network is unreachable.";
      break;
    case Platform::WSAHOST_NOT_FOUND:
      text = "Host not found.";
      break;
    case Platform::WSATRY_AGAIN:
      text = "Non-authoritative host not found.";
      break;
    default:
      break;
  }
  return text ? Platform::Format("Socket Error # %d %s", code, text)
              : Platform::Format("Socket Error # %d", code);
}

[[noreturn]] void RaiseFromErrno(int err) {
  throw SmtpError(SocketMessage(Platform::SetLastSocketErrorFromErrno(err)));
}

// Waits until the socket is ready for the events or the deadline passes; false on timeout.
bool WaitReady(int fd, short events, net::Deadline deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, net::MillisecondsLeft(deadline));
    if (n > 0) {
      return true;
    }
    if (n == 0) {
      return false;
    }
    if (errno != EINTR) {
      RaiseFromErrno(errno);
    }
  }
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

std::optional<std::vector<std::string>> Extension(const Reply& ehlo, const std::string& keyword) {
  // The first line is the server's greeting; each further one names an extension, its
  // parameters after a blank (or after "=" in the old form of AUTH).
  for (std::size_t i = 1; i < ehlo.lines.size(); ++i) {
    const std::string line = Upper(ehlo.lines[i]);
    if (line.compare(0, keyword.size(), keyword) != 0 ||
        (line.size() > keyword.size() && line[keyword.size()] != ' ' &&
         line[keyword.size()] != '=')) {
      continue;
    }
    std::vector<std::string> parameters;
    std::size_t at = keyword.size();
    while (at < line.size()) {
      const std::size_t start = line.find_first_not_of(" =", at);
      if (start == std::string::npos) {
        break;
      }
      at = std::min(line.find(' ', start), line.size());
      parameters.push_back(line.substr(start, at - start));
    }
    return parameters;
  }
  return std::nullopt;
}

bool IsLoopback(std::uint32_t address) {
  return (ntohl(address) >> 24) == 127;
}

std::string Reply::Text() const {
  std::string text = std::to_string(code);
  for (const std::string& line : lines) {
    if (!line.empty()) {
      text += ' ';
      text += line;
    }
  }
  return text;
}

bool ReplyParser::Feed(const std::string& line) {
  const bool digits = line.size() >= 3 && line[0] >= '1' && line[0] <= '5' && line[1] >= '0' &&
                      line[1] <= '9' && line[2] >= '0' && line[2] <= '9';
  if (!digits || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
    throw SmtpError("Invalid reply from the server: " + line.substr(0, 80));
  }
  const int code = std::stoi(line.substr(0, 3));
  if (!reply_.lines.empty() && code != reply_.code) {
    throw SmtpError("Invalid reply from the server: " + line.substr(0, 80));
  }
  if (reply_.lines.size() >= kMaxLines) {
    throw SmtpError("Reply from the server too long.");
  }
  reply_.code = code;
  reply_.lines.push_back(line.size() > 4 ? line.substr(4) : std::string());
  return line.size() == 3 || line[3] == ' ';
}

std::string LocalHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
    return "localhost";
  }
  std::string host(name);
  for (char& c : host) {
    if (c == '\r' || c == '\n' || c == ' ') {
      c = '-';
    }
  }
  return host;
}

Client::Client(std::string host, int port, Limits limits, Security security)
    : host_(std::move(host)), port_(port), limits_(limits), security_(security) {}

Client::~Client() {
  Disconnect();
}

void Client::Connect() {
  net::Connection connection = net::TcpConnect(host_, port_, After(limits_.connectMs));
  if (!connection) {
    throw SmtpError(SocketMessage(connection.code));
  }
  const int flags = ::fcntl(connection.fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(connection.fd.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    RaiseFromErrno(errno);
  }
  fd_ = std::move(connection.fd);
  buffer_.clear();
}

void Client::Disconnect() {
  tls_.reset();
  fd_.reset();
  buffer_.clear();
  ehlo_ = {};
}

std::string Client::TlsFailureText(const net::TlsError& error, TlsStep step) const {
  using Cause = net::TlsError::Cause;
  const std::string& reason = error.Reason();
  const bool closed = error.WhatFailed() == Cause::Closed && reason.empty();
  switch (error.WhatFailed()) {
    case Cause::Socket:
      return SocketMessage(error.Code());
    case Cause::TimedOut:
      return step == TlsStep::Handshake ? "TLS handshake with " + host_ + " timed out."
             : step == TlsStep::Read    ? "Read timed out."
                                        : "Write timed out.";
    case Cause::Certificate:
      return "The certificate of " + host_ + " was not accepted: " + reason + ".";
    default:
      break;
  }
  if (closed && step == TlsStep::Read) {
    return "Connection Closed Gracefully.";
  }
  const std::string why = closed           ? "the server closed the connection"
                          : reason.empty() ? "unknown"
                                           : reason;
  switch (step) {
    case TlsStep::Handshake:
      return "TLS handshake with " + host_ + " failed: " + why + ".";
    case TlsStep::Read:
      return "TLS read failed: " + why + ".";
    case TlsStep::Write:
      break;
  }
  return "TLS write failed: " + why + ".";
}

void Client::StartTls() {
  try {
    const net::TlsContext context(net::PeerCheck::Verify);
    tls_ = std::make_unique<net::TlsClient>(context, fd_.get(), host_, After(limits_.replyMs));
  } catch (const net::TlsError& e) {
    throw SmtpError(TlsFailureText(e, TlsStep::Handshake));
  }
}

void Client::WriteAll(const std::string& bytes) {
  if (!fd_) {
    throw SmtpError("Not connected.");
  }
  const net::Deadline deadline = After(limits_.replyMs);
  if (tls_) {
    try {
      tls_->WriteAll(bytes, deadline);
    } catch (const net::TlsError& e) {
      throw SmtpError(TlsFailureText(e, TlsStep::Write));
    }
    return;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd_.get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitReady(fd_.get(), POLLOUT, deadline)) {
        throw SmtpError("Write timed out.");
      }
    } else {
      RaiseFromErrno(n < 0 ? errno : EPIPE);
    }
  }
}

void Client::WriteLine(const std::string& line, const char* shown) {
  if (transcript) {
    transcript(true, shown != nullptr ? shown : line);
  }
  WriteAll(line + "\r\n");
}

std::string Client::ReadLine(net::Deadline deadline) {
  std::string line;
  if (tls_) {
    try {
      // One byte more than a line may have tells a line too long from one just long enough.
      line = tls_->ReadLine(deadline, kMaxLineLength + 1);
    } catch (const net::TlsError& e) {
      throw SmtpError(TlsFailureText(e, TlsStep::Read));
    }
    if (line.size() > kMaxLineLength) {
      throw SmtpError("Reply line from the server too long.");
    }
  } else {
    line = ReadPlainLine(deadline);
  }
  if (transcript) {
    transcript(false, line);
  }
  return line;
}

std::string Client::ReadPlainLine(net::Deadline deadline) {
  for (;;) {
    const std::size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') {
        line.pop_back();
      }
      return line;
    }
    if (buffer_.size() > kMaxLineLength) {
      throw SmtpError("Reply line from the server too long.");
    }
    if (!WaitReady(fd_.get(), POLLIN, deadline)) {
      throw SmtpError("Read timed out.");
    }
    char chunk[1024];
    const ssize_t n = ::recv(fd_.get(), chunk, sizeof chunk, 0);
    if (n > 0) {
      buffer_.append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0) {
      throw SmtpError("Connection Closed Gracefully.");
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      RaiseFromErrno(errno);
    }
  }
}

Reply Client::ReadReply() {
  if (!fd_) {
    throw SmtpError("Not connected.");
  }
  const net::Deadline deadline = After(limits_.replyMs);
  ReplyParser parser;
  while (!parser.Feed(ReadLine(deadline))) {
  }
  return parser.Result();
}

Reply Client::Command(const std::string& line, const char* shown) {
  WriteLine(line, shown);
  return ReadReply();
}

void Client::Expect(const Reply& reply, int code, int alternative) {
  if (reply.code != code && (alternative == 0 || reply.code != alternative)) {
    throw SmtpError(reply.Text());
  }
}

void Client::Open(const std::string& heloName) {
  Disconnect();
  Connect();
  try {
    if (security_ == Security::Tls) {
      StartTls();
    }
    Expect(ReadReply(), 220);
    Reply ehlo = Command("EHLO " + heloName);
    if (ehlo.code != 250) {
      Expect(Command("HELO " + heloName), 250);
      ehlo = {};
    }
    if (security_ == Security::StartTls) {
      if (!Extension(ehlo, "STARTTLS")) {
        throw SmtpError("The server does not offer STARTTLS.");
      }
      Expect(Command("STARTTLS"), 220);
      // Anything sent before the handshake came unprotected and could have been put
      // there by someone in between: the session cannot go on.
      if (!buffer_.empty()) {
        throw SmtpError("The server sent more than its reply to STARTTLS.");
      }
      StartTls();
      ehlo = Command("EHLO " + heloName);
      Expect(ehlo, 250);
    }
    ehlo_ = ehlo;
  } catch (...) {
    Disconnect();
    throw;
  }
}

void Client::SignIn(const std::string& user, const std::string& password) {
  if (!fd_) {
    throw SmtpError("Not connected.");
  }
  if (!tls_) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(fd_.get(), reinterpret_cast<sockaddr*>(&peer), &size) != 0 ||
        peer.sin_family != AF_INET || !IsLoopback(peer.sin_addr.s_addr)) {
      throw SmtpError(
          "The password is not sent without TLS to a server that is not on this computer: "
          "choose STARTTLS or TLS as the security.");
    }
  }
  const std::vector<std::string> offered =
      Extension(ehlo_, "AUTH").value_or(std::vector<std::string>{});
  const auto offers = [&offered](const char* name) {
    return std::find(offered.begin(), offered.end(), name) != offered.end();
  };
  if (offers("PLAIN")) {
    Expect(
        Command("AUTH PLAIN " + mail_message::Base64(std::string(1, '\0') + user + '\0' + password),
                "AUTH PLAIN ****"),
        235);
  } else if (offers("LOGIN")) {
    Expect(Command("AUTH LOGIN"), 334);
    Expect(Command(mail_message::Base64(user)), 334);
    Expect(Command(mail_message::Base64(password), "****"), 235);
  } else {
    throw SmtpError("The server offers no sign-in this program knows (AUTH PLAIN or LOGIN).");
  }
}

void Client::Send(const std::string& from, const std::vector<std::string>& recipients,
                  const std::string& message) {
  if (!fd_) {
    throw SmtpError("Not connected.");
  }
  Command("RSET");
  Expect(Command("MAIL FROM:<" + from + ">"), 250);
  for (const std::string& to : recipients) {
    Expect(Command("RCPT TO:<" + to + ">"), 250, 251);
  }
  Expect(Command("DATA"), 354);
  if (transcript) {
    transcript(true, message);
  }
  WriteAll(message);
  Expect(Command("."), 250);
}

void Client::Close() {
  if (!fd_) {
    return;
  }
  try {
    WriteLine("QUIT");
    if (tls_) {
      tls_->Shutdown();
    }
  } catch (const std::exception&) {
    // The connection is being dropped anyway.
  }
  Disconnect();
}

}  // namespace smtp
