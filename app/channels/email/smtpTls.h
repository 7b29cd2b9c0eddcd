// TLS for the SMTP client on OpenSSL, over the client's own connected non-blocking
// socket. The server's certificate must chain to the system's trust store (OpenSSL's
// default paths, which SSL_CERT_FILE and SSL_CERT_DIR replace) and name the host the
// user typed; TLS 1.2 at least. The session never waits itself: when it needs the
// socket readable or writable it calls the caller's wait, which bounds every wait.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace smtp {

class TlsSession {
 public:
  // Waits until the socket is readable (false) or writable (true); raises on time-out.
  using Wait = std::function<void(bool writable)>;

  TlsSession();
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // The client handshake on fd with host's certificate check. Raises SmtpError:
  //   "The certificate of <host> was not accepted: <why>."
  //   "TLS handshake with <host> failed: <why>."
  void Handshake(int fd, const std::string& host, const Wait& wait);
  // Appends at least one byte to into; false when the server ended the session.
  bool Read(std::string& into, const Wait& wait);
  void Write(const char* bytes, std::size_t size, const Wait& wait);
  // Tells the server the session ends, without waiting for its answer.
  void Shutdown();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace smtp
