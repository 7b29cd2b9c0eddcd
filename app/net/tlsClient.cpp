#include "net/tlsClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "SocketError.h"
#include "net/tlsLibrary.h"

namespace net {

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

// Takes the first error off OpenSSL's queue and empties it: a TlsError of that cause with
// the error's reason and whole line, or with reason alone when nothing was queued.
TlsError Queued(const tls::Api& lib, TlsError::Cause cause, std::string reason = {}) {
  const unsigned long code = lib.ERR_get_error();
  lib.ERR_clear_error();
  if (code == 0) {
    return TlsError(cause, std::move(reason));
  }
  const char* why = lib.ERR_reason_error_string(code);
  char line[256];
  lib.ERR_error_string_n(code, line, sizeof line);
  return TlsError(cause, why != nullptr ? why : "unknown", line);
}

const tls::Api& OpenedLibrary() {
  try {
    return tls::Library();
  } catch (const Platform::Exception& e) {
    throw TlsError(TlsError::Cause::Library, e.Message());
  }
}

}  // namespace

TlsError::TlsError(Cause cause, std::string reason, std::string detail, int code)
    : Platform::Exception(!reason.empty() ? reason : "TLS failed"),
      cause_(cause),
      reason_(std::move(reason)),
      detail_(std::move(detail)),
      code_(code) {}

// ---- TlsContext

TlsContext::TlsContext(PeerCheck check) : lib_(&OpenedLibrary()), check_(check) {
  lib_->ERR_clear_error();
  ctx_ = lib_->SSL_CTX_new(lib_->TLS_client_method());
  if (ctx_ == nullptr) {
    throw Queued(*lib_, TlsError::Cause::Setup);
  }
  if (check_ == PeerCheck::None) {
    lib_->SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
    return;
  }
  lib_->SetMinProtoVersion(ctx_, TLS1_2_VERSION);
  lib_->SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
  if (lib_->SSL_CTX_set_default_verify_paths(ctx_) != 1) {
    lib_->ERR_clear_error();
    lib_->SSL_CTX_free(ctx_);
    throw TlsError(TlsError::Cause::Setup, "the system's trusted certificates could not be loaded");
  }
}

TlsContext::~TlsContext() {
  lib_->SSL_CTX_free(ctx_);
}

// ---- TlsClient

void TlsClient::SslFree::operator()(ssl_st* ssl) const noexcept {
  lib->SSL_free(ssl);
}

void TlsClient::Wait(short events, Deadline deadline) {
  for (;;) {
    const int left = MillisecondsLeft(deadline);
    if (left == 0) {
      break;
    }
    pollfd entry{fd_, events, 0};
    const int ready = ::poll(&entry, 1, left);
    if (ready > 0) {
      return;
    }
    if (ready < 0 && errno != EINTR) {
      throw TlsError(TlsError::Cause::Socket, "waiting for the server failed", {},
                     Platform::SetLastSocketErrorFromErrno(errno));
    }
  }
  Platform::WSASetLastError(Platform::WSAETIMEDOUT);
  throw TlsError(TlsError::Cause::TimedOut, "the server took too long", {}, Platform::WSAETIMEDOUT);
}

void TlsClient::Raise(int result, int error, int err) {
  const bool established = lib_.SSL_is_init_finished(ssl_.get()) == 1;
  if (error == SSL_ERROR_ZERO_RETURN) {
    lib_.ERR_clear_error();
    throw TlsError(TlsError::Cause::Closed, {});
  }
  if (!established && check_ == PeerCheck::Verify) {
    const long verified = lib_.SSL_get_verify_result(ssl_.get());
    if (verified != X509_V_OK) {
      lib_.ERR_clear_error();
      throw TlsError(TlsError::Cause::Certificate, lib_.X509_verify_cert_error_string(verified));
    }
  }
  if (lib_.ERR_peek_error() != 0) {
    // After the handshake an end of the stream without TLS's own closing is still the
    // server going away, whatever OpenSSL calls it.
    throw Queued(lib_,
                 established && result == 0 ? TlsError::Cause::Closed : TlsError::Cause::Refused);
  }
  // A write after the server has gone is its closing too; a reset is the network's doing.
  if (error == SSL_ERROR_SYSCALL && err != 0 && err != EPIPE) {
    throw TlsError(TlsError::Cause::Socket, "the connection failed", {},
                   Platform::SetLastSocketErrorFromErrno(err));
  }
  throw TlsError(TlsError::Cause::Closed, {});
}

template <typename Call>
int TlsClient::Drive(const Call& call, Deadline deadline) {
  const NoSigPipe quiet;
  for (;;) {
    lib_.ERR_clear_error();
    errno = 0;
    const int result = call();
    const int err = errno;
    if (result > 0) {
      return result;
    }
    const int error = lib_.SSL_get_error(ssl_.get(), result);
    if (error == SSL_ERROR_WANT_READ) {
      Wait(POLLIN, deadline);
    } else if (error == SSL_ERROR_WANT_WRITE) {
      Wait(POLLOUT, deadline);
    } else if (!(error == SSL_ERROR_SYSCALL && err == EINTR)) {
      Raise(result, error, err);
    }
  }
}

TlsClient::TlsClient(const TlsContext& context, int fd, const std::string& host, Deadline deadline)
    : lib_(*context.lib_), check_(context.check_), fd_(fd), ssl_(nullptr, SslFree{&lib_}) {
  // Every wait is a poll bounded by the deadline, however the server spaces its bytes.
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0) {
    throw TlsError(TlsError::Cause::Socket, "the connection cannot be used", {},
                   Platform::SetLastSocketErrorFromErrno(errno));
  }
  lib_.ERR_clear_error();
  ssl_.reset(lib_.SSL_new(context.ctx_));
  if (!ssl_ || lib_.SSL_set_fd(ssl_.get(), fd_) != 1) {
    throw Queued(lib_, TlsError::Cause::Setup);
  }
  lib_.SetMode(ssl_.get(), SSL_MODE_ENABLE_PARTIAL_WRITE);
  // A typed address is checked against the certificate's addresses, a name against its
  // names; a name also goes out as the server name, which shared hosts need to pick a
  // certificate (an address may not).
  in_addr numeric{};
  const bool isAddress = inet_pton(AF_INET, host.c_str(), &numeric) == 1;
  bool named = true;
  if (!isAddress) {
    named = lib_.SetServerName(ssl_.get(), host.c_str()) == 1;
  }
  if (check_ == PeerCheck::Verify) {
    if (isAddress) {
      named =
          lib_.X509_VERIFY_PARAM_set1_ip_asc(lib_.SSL_get0_param(ssl_.get()), host.c_str()) == 1;
    } else {
      lib_.SSL_set_hostflags(ssl_.get(), X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
      named = named && lib_.SSL_set1_host(ssl_.get(), host.c_str()) == 1;
    }
    if (!named) {
      lib_.ERR_clear_error();
      throw TlsError(TlsError::Cause::Setup, "the host name cannot be checked");
    }
  }
  lib_.ERR_clear_error();
  Drive([this] { return lib_.SSL_connect(ssl_.get()); }, deadline);
}

TlsClient::~TlsClient() = default;

void TlsClient::WriteAll(const char* bytes, std::size_t size, Deadline deadline) {
  std::size_t done = 0;
  while (done < size) {
    const int part = static_cast<int>(std::min<std::size_t>(size - done, 1 << 20));
    done += static_cast<std::size_t>(
        Drive([&] { return lib_.SSL_write(ssl_.get(), bytes + done, part); }, deadline));
  }
}

std::string TlsClient::ReadLine(Deadline deadline, std::size_t maxLength) {
  std::size_t lf;
  while ((lf = pending_.find('\n')) == std::string::npos && pending_.size() < maxLength) {
    char chunk[4096];
    const int got = Drive(
        [&] { return lib_.SSL_read(ssl_.get(), chunk, static_cast<int>(sizeof chunk)); }, deadline);
    pending_.append(chunk, static_cast<std::size_t>(got));
  }
  const bool cut = lf == std::string::npos || lf > maxLength;
  std::string line = pending_.substr(0, cut ? maxLength : lf);
  pending_.erase(0, cut ? maxLength : lf + 1);
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return line;
}

void TlsClient::Shutdown() noexcept {
  if (lib_.SSL_is_init_finished(ssl_.get()) == 1) {
    const NoSigPipe quiet;
    lib_.SSL_shutdown(ssl_.get());
    lib_.ERR_clear_error();
  }
}

}  // namespace net
