// SMTP servers for the e-mail tests, all on 127.0.0.1 at a free port and all ended
// with the test: a scripted server of our own that answers as told and records every
// line; a port that refuses every connection; and a real SMTP server (Debian's
// aiosmtpd) that writes each accepted mail to a folder.
#pragma once

#include <sys/types.h>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class ScriptedSmtpServer {
 public:
  struct Script {
    std::string greeting = "220 scripted.test ESMTP";
    // Replies by upper-case command word ("EHLO", "RCPT", ...; "." for the end of the
    // data); a reply may be several lines joined by "\r\n". Unlisted words get "250 OK",
    // DATA gets "354 Go ahead".
    std::map<std::string, std::string> replies;
    // Accepts connections and reads, but never writes a byte.
    bool silent = false;
  };

  explicit ScriptedSmtpServer(Script script);
  ~ScriptedSmtpServer();
  ScriptedSmtpServer(const ScriptedSmtpServer&) = delete;
  ScriptedSmtpServer& operator=(const ScriptedSmtpServer&) = delete;

  int Port() const { return port_; }
  // Every line received, across connections, without line ends; first waits (at most
  // five seconds) for a connection in progress to end.
  std::vector<std::string> Lines() const;
  // The command lines only (the message between DATA and "." left out).
  std::vector<std::string> Commands() const;
  int Connections() const { return connections_.load(); }

 private:
  void Serve();
  void Talk(int fd);
  void WaitUntilQuiet() const;

  Script script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::atomic<bool> talking_{false};
  mutable std::mutex lock_;
  std::vector<std::string> lines_;
  std::vector<bool> inData_;
  std::thread thread_;
};

// A port on 127.0.0.1 that is bound but not listening: every connection is refused.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// aiosmtpd run by /usr/bin/python3 with tests/support/smtp_sink.py.
class SmtpSink {
 public:
  // TLS and sign-in for the server; the defaults give the plain server.
  struct Secure {
    std::string tls;  // "", "starttls" (required before mail) or "implicit"
    std::string certificate, key;
    std::string user, password;  // the one pair it accepts; no user: no sign-in
    bool loginOnly = false;      // offers AUTH LOGIN but not PLAIN
  };
  // Starts the server writing into folder; Port() is 0 when it could not start (the
  // package python3-aiosmtpd missing): Available() tells. With any of Secure's values
  // each mail file begins with "TLS: yes|no" and "AUTH: name|-".
  explicit SmtpSink(const std::string& folder);
  SmtpSink(const std::string& folder, const Secure& secure);
  ~SmtpSink();
  bool Available() const { return port_ > 0; }
  int Port() const { return port_; }
  // The mail files written so far, in the order received ("HELO: ..." first).
  std::vector<std::string> Mails() const;
  // Every sign-in attempt so far, one "MECHANISM name password" line each.
  std::string SignIns() const;
  // Waits, at most the given milliseconds, until count mails have arrived.
  bool WaitForMails(std::size_t count, int timeoutMs) const;

 private:
  std::string folder_;
  pid_t pid_ = -1;
  int toChild_ = -1;
  int port_ = 0;
};

}  // namespace testsupport
