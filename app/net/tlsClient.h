// The one TLS client of the program, on the late-opened OpenSSL: a handshake over a
// connected descriptor, then lines read and bytes written, each step given a deadline
// that it never passes. Mail checks the server's certificate; the Passport sign-in does
// not (its servers never had certificates a trust store would take). Failures raise
// TlsError with a cause, which each channel words in its own terms.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "Exceptions.h"
#include "net/tcpConnect.h"

struct ssl_ctx_st;
struct ssl_st;

namespace tls {
struct Api;
}

namespace net {

class TlsError : public Platform::Exception {
 public:
  enum class Cause {
    Library,      // OpenSSL could not be opened
    Setup,        // a context or session could not be made ready
    Certificate,  // the server's certificate was not accepted
    Refused,      // the TLS layer failed: a protocol error, an alert
    Closed,       // the server ended the connection
    TimedOut,     // the deadline came first
    Socket,       // waiting on the socket failed
  };
  TlsError(Cause cause, std::string reason, std::string detail = {}, int code = 0);
  Cause WhatFailed() const noexcept { return cause_; }
  // A few words on why: OpenSSL's reason ("wrong version number"), the certificate
  // check's verdict, the set-up's trouble; empty when there is nothing to say.
  const std::string& Reason() const noexcept { return reason_; }
  // OpenSSL's whole error line ("error:0A00010B:SSL routines::wrong version number");
  // empty when it queued none.
  const std::string& Detail() const noexcept { return detail_; }
  // For Socket and TimedOut: the Winsock-numbered code, also the thread's last error.
  int Code() const noexcept { return code_; }

 private:
  Cause cause_;
  std::string reason_;
  std::string detail_;
  int code_;
};

enum class PeerCheck {
  None,    // any certificate, no minimum version beyond the library's own
  Verify,  // TLS 1.2 at least; a certificate that chains to the system's trust store
           // (SSL_CERT_FILE and SSL_CERT_DIR replace it) and names the host
};

// Settings shared by the clients made from it; a client keeps its own reference, so a
// context may go before them.
class TlsContext {
 public:
  // Raises TlsError (Library or Setup).
  explicit TlsContext(PeerCheck check);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;
  PeerCheck Check() const noexcept { return check_; }

 private:
  friend class TlsClient;
  const tls::Api* lib_;
  PeerCheck check_;
  ssl_ctx_st* ctx_ = nullptr;
};

class TlsClient {
 public:
  // The handshake over fd, connected and made non-blocking here; the caller keeps fd and
  // closes it after the client is gone. host goes out as the server name when it is a
  // name, and is what the certificate must name when the context verifies.
  TlsClient(const TlsContext& context, int fd, const std::string& host, Deadline deadline);
  ~TlsClient();
  TlsClient(const TlsClient&) = delete;
  TlsClient& operator=(const TlsClient&) = delete;

  void WriteAll(const char* bytes, std::size_t size, Deadline deadline);
  void WriteAll(const std::string& bytes, Deadline deadline) {
    WriteAll(bytes.data(), bytes.size(), deadline);
  }
  // One line up to LF, without the LF and a CR before it. A line longer than maxLength
  // is cut there: its first maxLength bytes come back, the rest reads as the next line.
  std::string ReadLine(Deadline deadline, std::size_t maxLength);
  // Tells the server the session ends, without waiting for its answer.
  void Shutdown() noexcept;

 private:
  struct SslFree {
    const tls::Api* lib;
    void operator()(ssl_st* ssl) const noexcept;
  };
  // Repeats one TLS call until it moves data, waiting on the socket as OpenSSL asks;
  // returns the call's positive result or raises.
  template <typename Call>
  int Drive(const Call& call, Deadline deadline);
  void Wait(short events, Deadline deadline);
  // Raises the failure of a TLS call: its result, OpenSSL's verdict and errno after it.
  [[noreturn]] void Raise(int result, int error, int err);

  const tls::Api& lib_;
  const PeerCheck check_;
  const int fd_;
  std::unique_ptr<ssl_st, SslFree> ssl_;
  std::string pending_;
};

}  // namespace net
