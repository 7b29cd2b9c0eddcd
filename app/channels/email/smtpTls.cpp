#include "channels/email/smtpTls.h"

#include <arpa/inet.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "Exceptions.h"
#include "channels/email/smtpClient.h"
#include "net/tlsLibrary.h"

namespace smtp {

namespace {

// OpenSSL writes to the socket with write(): a server that has gone away would end the
// whole program with SIGPIPE. While this guard lives the signal is held back on this
// thread, and one raised meanwhile is taken off again.
class NoSigPipe {
 public:
  NoSigPipe() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~NoSigPipe() {
    sigset_t pending;
    sigpending(&pending);
    if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
      const timespec none{0, 0};
      while (sigtimedwait(&pipe_, nullptr, &none) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  NoSigPipe(const NoSigPipe&) = delete;
  NoSigPipe& operator=(const NoSigPipe&) = delete;

 private:
  sigset_t pipe_;
  sigset_t old_;
  bool wasPending_ = false;
};

// The first reason in OpenSSL's error queue, "unknown" without one.
std::string QueuedReason(const tls::Api& lib) {
  const unsigned long code = lib.ERR_get_error();
  lib.ERR_clear_error();
  const char* reason = code != 0 ? lib.ERR_reason_error_string(code) : nullptr;
  return reason != nullptr ? reason : "unknown";
}

}  // namespace

struct TlsSession::Impl {
  const tls::Api* lib = nullptr;  // set by the handshake
  SSL_CTX* ctx = nullptr;
  SSL* ssl = nullptr;
  ~Impl() {
    if (lib != nullptr) {
      lib->SSL_free(ssl);
      lib->SSL_CTX_free(ctx);
    }
  }

  // Runs op until it succeeds, waiting whenever OpenSSL asks for the socket; returns
  // op's result, or 0 when the server ended the session cleanly.
  template <typename Op>
  int Drive(const Op& op, const Wait& wait, bool& failed) {
    failed = false;
    for (;;) {
      lib->ERR_clear_error();
      const int n = op();
      if (n > 0) {
        return n;
      }
      switch (lib->SSL_get_error(ssl, n)) {
        case SSL_ERROR_WANT_READ:
          wait(false);
          break;
        case SSL_ERROR_WANT_WRITE:
          wait(true);
          break;
        case SSL_ERROR_ZERO_RETURN:
          return 0;
        case SSL_ERROR_SYSCALL:
          if (errno == EINTR) {
            break;
          }
          [[fallthrough]];
        default:
          failed = true;
          return n;
      }
    }
  }
};

TlsSession::TlsSession() : impl_(std::make_unique<Impl>()) {}

TlsSession::~TlsSession() = default;

void TlsSession::Handshake(int fd, const std::string& host, const Wait& wait) {
  const std::string failedText = "TLS handshake with " + host + " failed: ";
  try {
    impl_->lib = &tls::Library();
  } catch (const Platform::Exception& e) {
    throw SmtpError(failedText + e.what() + ".");
  }
  const tls::Api& lib = *impl_->lib;
  lib.ERR_clear_error();
  impl_->ctx = lib.SSL_CTX_new(lib.TLS_client_method());
  if (impl_->ctx == nullptr) {
    throw SmtpError(failedText + QueuedReason(lib) + ".");
  }
  lib.SetMinProtoVersion(impl_->ctx, TLS1_2_VERSION);
  lib.SSL_CTX_set_verify(impl_->ctx, SSL_VERIFY_PEER, nullptr);
  if (lib.SSL_CTX_set_default_verify_paths(impl_->ctx) != 1) {
    throw SmtpError(failedText + "the system's trusted certificates could not be loaded.");
  }
  impl_->ssl = lib.SSL_new(impl_->ctx);
  if (impl_->ssl == nullptr || lib.SSL_set_fd(impl_->ssl, fd) != 1) {
    throw SmtpError(failedText + QueuedReason(lib) + ".");
  }
  lib.SetMode(impl_->ssl, SSL_MODE_ENABLE_PARTIAL_WRITE);
  // A typed address is checked against the certificate's addresses, a name against its
  // names (and sent as the server name, which shared hosts need to pick a certificate).
  in_addr numeric{};
  bool named = false;
  if (inet_pton(AF_INET, host.c_str(), &numeric) == 1) {
    named = lib.X509_VERIFY_PARAM_set1_ip_asc(lib.SSL_get0_param(impl_->ssl), host.c_str()) == 1;
  } else {
    lib.SSL_set_hostflags(impl_->ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    named = lib.SetServerName(impl_->ssl, host.c_str()) == 1 &&
            lib.SSL_set1_host(impl_->ssl, host.c_str()) == 1;
  }
  if (!named) {
    throw SmtpError(failedText + "the host name cannot be checked.");
  }

  NoSigPipe quiet;
  bool failed = false;
  impl_->Drive([this, &lib] { return lib.SSL_connect(impl_->ssl); }, wait, failed);
  if (failed || !lib.SSL_is_init_finished(impl_->ssl)) {
    const long verified = lib.SSL_get_verify_result(impl_->ssl);
    if (verified != X509_V_OK) {
      lib.ERR_clear_error();
      throw SmtpError("The certificate of " + host +
                      " was not accepted: " + lib.X509_verify_cert_error_string(verified) + ".");
    }
    if (lib.ERR_peek_error() == 0) {
      throw SmtpError(failedText + "the server closed the connection.");
    }
    throw SmtpError(failedText + QueuedReason(lib) + ".");
  }
}

bool TlsSession::Read(std::string& into, const Wait& wait) {
  char chunk[4096];
  bool failed = false;
  NoSigPipe quiet;
  const int n = impl_->Drive(
      [this, &chunk] {
        return impl_->lib->SSL_read(impl_->ssl, chunk, static_cast<int>(sizeof chunk));
      },
      wait, failed);
  if (failed) {
    if (impl_->lib->ERR_peek_error() == 0) {
      return false;  // the connection ended without TLS's own closing
    }
    throw SmtpError("TLS read failed: " + QueuedReason(*impl_->lib) + ".");
  }
  if (n <= 0) {
    return false;
  }
  into.append(chunk, static_cast<std::size_t>(n));
  return true;
}

void TlsSession::Write(const char* bytes, std::size_t size, const Wait& wait) {
  NoSigPipe quiet;
  std::size_t done = 0;
  while (done < size) {
    bool failed = false;
    const int n = impl_->Drive(
        [&] {
          const std::size_t part = std::min<std::size_t>(size - done, 1 << 20);
          return impl_->lib->SSL_write(impl_->ssl, bytes + done, static_cast<int>(part));
        },
        wait, failed);
    if (failed || n <= 0) {
      throw SmtpError("TLS write failed: " +
                      (impl_->lib->ERR_peek_error() != 0
                           ? QueuedReason(*impl_->lib)
                           : std::string("the server closed the connection")) +
                      ".");
    }
    done += static_cast<std::size_t>(n);
  }
}

void TlsSession::Shutdown() {
  if (impl_->ssl != nullptr && impl_->lib->SSL_is_init_finished(impl_->ssl)) {
    NoSigPipe quiet;
    impl_->lib->SSL_shutdown(impl_->ssl);
    impl_->lib->ERR_clear_error();
  }
}

}  // namespace smtp
