#include "passportClients.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <mutex>

#include "Exceptions.h"
#include "msmSocket.h"

namespace msm {

namespace {

std::string OpenSslError(const std::string& what) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) {
    return what;
  }
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return what + ": " + text;
}

constexpr std::size_t kMaxLine = 64 * 1024;

}  // namespace

// ---- TlsContext

TlsContext::TlsContext() : ctx_(SSL_CTX_new(TLS_client_method())) {
  if (ctx_ == nullptr) {
    throw Platform::Exception(OpenSslError("Could not create the TLS context"));
  }
  SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
}

TlsContext::~TlsContext() {
  SSL_CTX_free(ctx_);
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

NexusClient::NexusClient() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  curl_ = curl_easy_init();
  if (curl_ == nullptr) {
    throw Platform::Exception("Could not create the HTTP client");
  }
}

NexusClient::~NexusClient() {
  curl_easy_cleanup(static_cast<CURL*>(curl_));
}

NexusAnswer NexusClient::Get(const std::string& url, const std::string& userAgent, int timeoutMs) {
  CURL* curl = static_cast<CURL*>(curl_);
  curl_easy_reset(curl);
  NexusAnswer answer;
  char error[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https,http");
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, CollectHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, DropBody);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  const CURLcode result = curl_easy_perform(curl);
  if (result != CURLE_OK) {
    throw Platform::Exception(error[0] != '\0' ? error : curl_easy_strerror(result));
  }
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.iStatus);
  return answer;
}

// ---- TlsLineClient

TlsLineClient::TlsLineClient(const TlsContext& context, const std::string& host, int port,
                             int timeoutMs) {
  fd_ = ConnectSocket(host, port, timeoutMs);
  if (fd_ < 0) {
    throw Platform::Exception(SocketErrorText("Connecting to " + host, 0));
  }
  // Every read and write of the connection is bounded by the same time limit.
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  ERR_clear_error();
  ssl_ = SSL_new(context.Get());
  if (ssl_ == nullptr || SSL_set_fd(ssl_, fd_) != 1) {
    throw Platform::Exception(OpenSslError("Could not start TLS"));
  }
  SSL_set_tlsext_host_name(ssl_, host.c_str());
  if (SSL_connect(ssl_) != 1) {
    const std::string message = OpenSslError("TLS negotiation with " + host + " failed");
    SSL_free(ssl_);
    ssl_ = nullptr;
    ::close(fd_);
    fd_ = -1;
    throw Platform::Exception(message);
  }
}

TlsLineClient::~TlsLineClient() {
  if (ssl_ != nullptr) {
    SSL_free(ssl_);
  }
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

void TlsLineClient::WriteLine(const std::string& line) {
  const std::string text = line + "\r\n";
  std::size_t done = 0;
  while (done < text.size()) {
    const int written = SSL_write(ssl_, text.data() + done, static_cast<int>(text.size() - done));
    if (written <= 0) {
      throw Platform::Exception(OpenSslError("Writing to the login server failed"));
    }
    done += static_cast<std::size_t>(written);
  }
}

void TlsLineClient::Fill() {
  char chunk[4096];
  const int got = SSL_read(ssl_, chunk, sizeof chunk);
  if (got <= 0) {
    if (SSL_get_error(ssl_, got) == SSL_ERROR_ZERO_RETURN || got == 0) {
      throw Platform::Exception("Connection Closed Gracefully.");
    }
    throw Platform::Exception(OpenSslError("Reading from the login server failed"));
  }
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
