#include "channels/messenger/passportClients.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "Exceptions.h"
#include "SocketError.h"
#include "channels/messenger/msmSocket.h"
#include "net/lateLibrary.h"
#include "net/tlsLibrary.h"

namespace msm {

namespace {

std::string OpenSslError(const tls::Api& lib, const std::string& what) {
  const unsigned long code = lib.ERR_get_error();
  lib.ERR_clear_error();
  if (code == 0) {
    return what;
  }
  char text[256];
  lib.ERR_error_string_n(code, text, sizeof text);
  return what + ": " + text;
}

constexpr std::size_t kMaxLine = 64 * 1024;

}  // namespace

// ---- TlsContext

TlsContext::TlsContext()
    : lib_(&tls::Library()), ctx_(lib_->SSL_CTX_new(lib_->TLS_client_method())) {
  if (ctx_ == nullptr) {
    throw Platform::Exception(OpenSslError(*lib_, "Could not create the TLS context"));
  }
  lib_->SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
}

TlsContext::~TlsContext() {
  lib_->SSL_CTX_free(ctx_);
}

// ---- NexusClient

namespace {

size_t CollectHeader(char* data, size_t size, size_t count, void* user) {
  auto* answer = static_cast<NexusAnswer*>(user);
  std::string line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.pop_back();
  }
  if (line.rfind("HTTP/", 0) == 0) {
    // A new status line (after an interim answer): only the final answer counts.
    answer->asStatusLine = line;
    answer->vecHeaders.clear();
  } else if (!line.empty()) {
    answer->vecHeaders.push_back(line);
  }
  return size * count;
}

size_t DropBody(char*, size_t size, size_t count, void*) {
  return size * count;
}

}  // namespace

// libcurl is opened at the first sign-in, not when the program starts: with the libraries
// it brings it would add about a tenth to every start, for a channel few people use.
struct Curl {
  decltype(&curl_global_init) global_init;
  decltype(&curl_easy_init) init;
  decltype(&curl_easy_cleanup) cleanup;
  decltype(&curl_easy_reset) reset;
  decltype(&curl_easy_setopt) setopt;
  decltype(&curl_easy_perform) perform;
  decltype(&curl_easy_strerror) strerror;
  decltype(&curl_easy_getinfo) getinfo;
};

namespace {

// The library once for the whole program; it stays loaded to the end.
const Curl& LoadCurl() {
  return FindOnce<Curl>([] {
    const LateLibrary library("libcurl.so.4", "The HTTP library");
    Curl found{};
    library.Find("curl_global_init", found.global_init);
    library.Find("curl_easy_init", found.init);
    library.Find("curl_easy_cleanup", found.cleanup);
    library.Find("curl_easy_reset", found.reset);
    library.Find("curl_easy_setopt", found.setopt);
    library.Find("curl_easy_perform", found.perform);
    library.Find("curl_easy_strerror", found.strerror);
    library.Find("curl_easy_getinfo", found.getinfo);
    found.global_init(CURL_GLOBAL_DEFAULT);
    return found;
  });
}

}  // namespace

NexusClient::NexusClient() : api_(&LoadCurl()) {
  curl_ = api_->init();
  if (curl_ == nullptr) {
    throw Platform::Exception("Could not create the HTTP client");
  }
}

NexusClient::~NexusClient() {
  api_->cleanup(static_cast<CURL*>(curl_));
}

NexusAnswer NexusClient::Get(const std::string& url, const std::string& userAgent, int timeoutMs) {
  CURL* curl = static_cast<CURL*>(curl_);
  const Curl& api = *api_;
  api.reset(curl);
  NexusAnswer answer;
  char error[CURL_ERROR_SIZE] = {};
  api.setopt(curl, CURLOPT_URL, url.c_str());
  api.setopt(curl, CURLOPT_USERAGENT, userAgent.c_str());
  api.setopt(curl, CURLOPT_HTTPGET, 1L);
  api.setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  api.setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  api.setopt(curl, CURLOPT_NOSIGNAL, 1L);
  api.setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
  api.setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
  api.setopt(curl, CURLOPT_PROTOCOLS_STR, "https,http");
  api.setopt(curl, CURLOPT_HEADERFUNCTION, CollectHeader);
  api.setopt(curl, CURLOPT_HEADERDATA, &answer);
  api.setopt(curl, CURLOPT_WRITEFUNCTION, DropBody);
  api.setopt(curl, CURLOPT_ERRORBUFFER, error);
  const CURLcode result = api.perform(curl);
  if (result != CURLE_OK) {
    throw Platform::Exception(error[0] != '\0' ? error : api.strerror(result));
  }
  api.getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.iStatus);
  return answer;
}

// ---- TlsLineClient

namespace {

int MillisecondsLeft(TlsLineClient::Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
  return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}

}  // namespace

TlsLineClient::TlsLineClient(const TlsContext& context, const std::string& host, int port,
                             int timeoutMs, Deadline deadline)
    : lib_(context.Library()), timeoutMs_(timeoutMs), deadline_(deadline) {
  const std::string connecting = "Connecting to " + host;
  if (MillisecondsLeft(deadline_) == 0) {
    throw DeadlineExceeded(connecting + ": out of time");
  }
  fd_ = ConnectSocket(host, port, std::min(timeoutMs_, MillisecondsLeft(deadline_)));
  if (fd_ < 0) {
    if (MillisecondsLeft(deadline_) == 0) {
      throw DeadlineExceeded(connecting + ": out of time");
    }
    throw Platform::Exception(SocketErrorText(connecting, 0));
  }
  try {
    // The socket does not block: every wait is a poll bounded by the time limit and the
    // deadline, however the server spaces its bytes.
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    lib_.ERR_clear_error();
    ssl_ = lib_.SSL_new(context.Get());
    if (ssl_ == nullptr || lib_.SSL_set_fd(ssl_, fd_) != 1) {
      throw Platform::Exception(OpenSslError(lib_, "Could not start TLS"));
    }
    lib_.SetServerName(ssl_, host.c_str());
    Drive([this] { return lib_.SSL_connect(ssl_); }, "TLS negotiation with " + host);
  } catch (...) {
    if (ssl_ != nullptr) {
      lib_.SSL_free(ssl_);
    }
    ::close(fd_);
    throw;
  }
}

TlsLineClient::~TlsLineClient() {
  if (ssl_ != nullptr) {
    lib_.SSL_free(ssl_);
  }
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

template <typename Call>
int TlsLineClient::Drive(Call call, const std::string& what) {
  for (;;) {
    lib_.ERR_clear_error();
    const int result = call();
    if (result > 0) {
      return result;
    }
    const int error = lib_.SSL_get_error(ssl_, result);
    if (error == SSL_ERROR_WANT_READ) {
      Wait(POLLIN, what);
    } else if (error == SSL_ERROR_WANT_WRITE) {
      Wait(POLLOUT, what);
    } else if (ssl_ != nullptr && lib_.SSL_is_init_finished(ssl_) == 1 &&
               (error == SSL_ERROR_ZERO_RETURN || result == 0)) {
      throw Platform::Exception("Connection Closed Gracefully.");
    } else {
      throw Platform::Exception(OpenSslError(lib_, what + " failed"));
    }
  }
}

void TlsLineClient::Wait(short events, const std::string& what) {
  const int left = MillisecondsLeft(deadline_);
  if (left == 0) {
    throw DeadlineExceeded(what + ": out of time");
  }
  pollfd entry{fd_, events, 0};
  int ready;
  while ((ready = ::poll(&entry, 1, std::min(left, timeoutMs_))) < 0 && errno == EINTR) {
  }
  if (ready < 0) {
    Platform::SetLastSocketErrorFromErrno(errno);
    throw Platform::Exception(SocketErrorText(what + " failed", 0));
  }
  if (ready == 0) {
    if (MillisecondsLeft(deadline_) == 0) {
      throw DeadlineExceeded(what + ": out of time");
    }
    throw Platform::Exception(SocketErrorText(what + " failed", Platform::WSAETIMEDOUT));
  }
}

void TlsLineClient::WriteLine(const std::string& line) {
  const std::string text = line + "\r\n";
  std::size_t done = 0;
  while (done < text.size()) {
    done += static_cast<std::size_t>(Drive(
        [&] {
          return lib_.SSL_write(ssl_, text.data() + done, static_cast<int>(text.size() - done));
        },
        "Writing to the login server"));
  }
}

void TlsLineClient::Fill() {
  char chunk[4096];
  const int got = Drive([&] { return lib_.SSL_read(ssl_, chunk, sizeof chunk); },
                        "Reading from the login server");
  pending_.append(chunk, static_cast<std::size_t>(got));
}

std::string TlsLineClient::ReadLine() {
  std::size_t lf;
  while ((lf = pending_.find('\n')) == std::string::npos) {
    if (pending_.size() >= kMaxLine) {
      lf = kMaxLine;
      break;
    }
    Fill();
  }
  std::string line = pending_.substr(0, lf);
  pending_.erase(0, lf < pending_.size() ? lf + 1 : lf);
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return line;
}

}  // namespace msm
