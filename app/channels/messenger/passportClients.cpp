#include "channels/messenger/passportClients.h"

#include <curl/curl.h>

#include <algorithm>

#include "Exceptions.h"
#include "SocketError.h"
#include "channels/messenger/msmSocket.h"
#include "net/lateLibrary.h"
#include "net/tcpConnect.h"

namespace msm {

namespace {

constexpr std::size_t kMaxLine = 64 * 1024;

}  // namespace

// ---- TlsContext

TlsContext::TlsContext() {
  try {
    context_ = std::make_unique<const net::TlsContext>(net::PeerCheck::None);
  } catch (const net::TlsError& e) {
    if (e.WhatFailed() == net::TlsError::Cause::Library) {
      throw;
    }
    throw Platform::Exception("Could not create the TLS context" +
                              (e.Detail().empty() ? std::string() : ": " + e.Detail()));
  }
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

TlsLineClient::TlsLineClient(const TlsContext& context, const std::string& host, int port,
                             int timeoutMs, Deadline deadline)
    : timeoutMs_(timeoutMs), deadline_(deadline) {
  const std::string connecting = "Connecting to " + host;
  if (net::MillisecondsLeft(deadline_) == 0) {
    throw DeadlineExceeded(connecting + ": out of time");
  }
  net::Connection connection = net::TcpConnect(host, port, StepDeadline());
  if (!connection) {
    if (net::MillisecondsLeft(deadline_) == 0) {
      throw DeadlineExceeded(connecting + ": out of time");
    }
    throw Platform::Exception(SocketErrorText(connecting, connection.code));
  }
  fd_ = std::move(connection.fd);
  try {
    tls_ = std::make_unique<net::TlsClient>(context.Get(), fd_.get(), host, StepDeadline());
  } catch (const net::TlsError& e) {
    Raise(e, "TLS negotiation with " + host, false);
  }
}

TlsLineClient::~TlsLineClient() = default;

TlsLineClient::Deadline TlsLineClient::StepDeadline() const {
  return std::min(deadline_,
                  std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_));
}

void TlsLineClient::Raise(const net::TlsError& error, const std::string& what,
                          bool established) const {
  using Cause = net::TlsError::Cause;
  switch (error.WhatFailed()) {
    case Cause::Setup:
      throw Platform::Exception("Could not start TLS" +
                                (error.Detail().empty() ? std::string() : ": " + error.Detail()));
    case Cause::TimedOut:
      if (net::MillisecondsLeft(deadline_) == 0) {
        throw DeadlineExceeded(what + ": out of time");
      }
      throw Platform::Exception(SocketErrorText(what + " failed", error.Code()));
    case Cause::Socket:
      throw Platform::Exception(SocketErrorText(what + " failed", error.Code()));
    case Cause::Closed:
      if (established) {
        throw Platform::Exception("Connection Closed Gracefully.");
      }
      break;
    default:
      break;
  }
  throw Platform::Exception(what + " failed" +
                            (error.Detail().empty() ? std::string() : ": " + error.Detail()));
}

void TlsLineClient::WriteLine(const std::string& line) {
  try {
    tls_->WriteAll(line + "\r\n", StepDeadline());
  } catch (const net::TlsError& e) {
    Raise(e, "Writing to the login server", true);
  }
}

std::string TlsLineClient::ReadLine() {
  try {
    return tls_->ReadLine(StepDeadline(), kMaxLine);
  } catch (const net::TlsError& e) {
    Raise(e, "Reading from the login server", true);
  }
}

}  // namespace msm
