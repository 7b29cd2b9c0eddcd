// The two HTTPS clients of the Passport sign-in: the nexus GET (libcurl, which reports the
// raw header lines through its header callback) and the login connection, the program's
// TLS client written and read line by line. Neither verifies the server's certificate:
// the sign-in has never asked for it and revival servers use certificates of their own.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "Exceptions.h"
#include "UniqueFd.h"
#include "net/tlsClient.h"

namespace msm {

struct Curl;

// One TLS client context: the library's defaults, no client certificate, no verification.
class TlsContext {
 public:
  // Raises Platform::Exception when OpenSSL cannot be loaded or cannot make one.
  TlsContext();
  const net::TlsContext& Get() const noexcept { return *context_; }

 private:
  std::unique_ptr<const net::TlsContext> context_;
};

struct NexusAnswer {
  long iStatus = 0;
  std::string asStatusLine;             // "HTTP/1.1 200 OK", without the line end
  std::vector<std::string> vecHeaders;  // the header lines after it, without line ends
};

// The HTTP client of the nexus request.
class NexusClient {
 public:
  // Raises Platform::Exception when libcurl cannot be loaded or cannot make a handle.
  NexusClient();
  ~NexusClient();
  NexusClient(const NexusClient&) = delete;
  NexusClient& operator=(const NexusClient&) = delete;
  // A GET with the given user agent and no other header of ours, finished within
  // timeoutMs; the body is read and dropped. Raises Platform::Exception with libcurl's
  // message when there is no answer.
  NexusAnswer Get(const std::string& url, const std::string& userAgent, int timeoutMs);

 private:
  const Curl* api_;
  void* curl_ = nullptr;
};

// A step that ran past its deadline; the message names the step.
class DeadlineExceeded : public Platform::Exception {
 public:
  using Platform::Exception::Exception;
};

// A TLS connection read and written line by line; every failure raises
// Platform::Exception with a message for the log. Each wait for the server lasts at most
// timeoutMs, and nothing goes on past the deadline: a server that trickles its bytes
// raises DeadlineExceeded there.
class TlsLineClient {
 public:
  using Deadline = std::chrono::steady_clock::time_point;
  TlsLineClient(const TlsContext& context, const std::string& host, int port, int timeoutMs,
                Deadline deadline);
  ~TlsLineClient();
  TlsLineClient(const TlsLineClient&) = delete;
  TlsLineClient& operator=(const TlsLineClient&) = delete;
  void WriteLine(const std::string& line);  // adds CR LF
  // One line up to LF, without the LF and a CR before it; lines longer than 64 KiB are
  // cut there.
  std::string ReadLine();

 private:
  // Where one step must end: its own time limit or the sign-in's deadline, the sooner.
  Deadline StepDeadline() const;
  // Raises the failure of the step that what names, in the sign-in's words.
  [[noreturn]] void Raise(const net::TlsError& error, const std::string& what,
                          bool established) const;
  const int timeoutMs_;
  const Deadline deadline_;
  Platform::UniqueFd fd_;
  std::unique_ptr<net::TlsClient> tls_;  // goes before the descriptor it uses
};

}  // namespace msm
