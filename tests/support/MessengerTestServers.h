// Messenger servers for the messenger tests, all on 127.0.0.1 at a free port and all
// ended with the test: a scripted notification server that is its own switchboard, and
// a Passport nexus and login server over TLS with a certificate made at start-up.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;
struct ssl_st;

namespace testsupport {

// A TLS server context with a self-signed certificate for 127.0.0.1, made afresh; null
// when OpenSSL could not make it. The caller frees it with SSL_CTX_free.
ssl_ctx_st* NewSelfSignedServerContext();

// One command as the scripted server read it.
struct MsnCommand {
  int iConnection = 0;    // 1 for the first connection accepted, and so on
  std::string asLine;     // without CR LF
  std::string asWord;     // "VER", "USR", ...
  std::string asTrId;     // the second word
  std::string asPayload;  // the bytes after a MSG command
};

struct MsnReply {
  std::vector<std::string> vecChunks;  // sent one after another, iIntervalMs apart
  bool bClose = false;                 // close the connection after the chunks
  int iIntervalMs = 30;                // the chunks stop early when the client has gone
};

class ScriptedMsnServer {
 public:
  using Script = std::function<MsnReply(const MsnCommand&)>;
  // Without a script every command gets the answer of a willing server (DefaultReply).
  explicit ScriptedMsnServer(Script script = nullptr);
  ~ScriptedMsnServer();
  ScriptedMsnServer(const ScriptedMsnServer&) = delete;
  ScriptedMsnServer& operator=(const ScriptedMsnServer&) = delete;

  int Port() const { return port_; }
  // The answer of a willing server that hands out itself as the switchboard, with the
  // unsolicited lines real servers send: a profile after sign-in, presence after CHG.
  MsnReply DefaultReply(const MsnCommand& command) const;
  // Every command received so far, in order ("MSG ..." commands with their payload).
  std::vector<MsnCommand> Commands() const;
  std::vector<std::string> Lines(int connection = 0) const;  // 0: all connections
  int Connections() const { return connections_.load(); }

 private:
  void Serve();
  void Talk(int fd, int connection);

  Script script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex lock_;
  std::vector<MsnCommand> commands_;
  std::vector<std::thread> talkers_;
  std::thread thread_;
};

// The nexus and the login server in one HTTPS server: GET /rdr/pprdr.asp answers with the
// login address "127.0.0.1:<port>/login2.srf"; every other request is answered by the
// script (by default a 200 with a ticket).
class FakePassportServer {
 public:
  struct Request {
    std::vector<std::string> vecLines;  // request line and headers, without line ends
  };
  using Script = std::function<std::string(const Request&, int loginRequest)>;
  // How the login server holds a client without finishing: it keeps sending, one piece
  // every iStallIntervalMs, for several seconds, then closes.
  enum class Stall {
    kNone,
    kHandshake,    // a TLS record header, then its body one byte at a time
    kStatusLine,   // the status line one byte at a time
    kHeaderLines,  // a status line, then header line after header line
  };
  struct Options {
    // The nexus answer's header line, "%PORT%" standing for the server's port; empty for
    // the classic list whose second value is the login address.
    std::string asNexusHeader;
    Stall stall = Stall::kNone;
    int iStallIntervalMs = 20;
  };
  explicit FakePassportServer(Script script = nullptr);
  FakePassportServer(Script script, Options options);
  ~FakePassportServer();
  FakePassportServer(const FakePassportServer&) = delete;
  FakePassportServer& operator=(const FakePassportServer&) = delete;

  bool Ready() const { return port_ > 0; }
  int Port() const { return port_; }
  std::string NexusUrl() const;
  std::vector<Request> Requests() const;
  // The ticket in the default answer.
  static constexpr const char* kTicket = "t=5T1Ck3t&p=Pr0f1le";

 private:
  void Serve();
  void Talk(int fd, int connection);
  void StallHandshake(int fd);
  // Sends the pieces over ssl, iStallIntervalMs apart.
  void Trickle(ssl_st* ssl, const std::vector<std::string>& pieces);
  std::string NexusAnswer() const;

  Script script_;
  Options options_;
  ssl_ctx_st* ctx_ = nullptr;
  int listener_ = -1;
  int port_ = 0;
  int loginRequests_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::vector<Request> requests_;
  std::thread thread_;
};

}  // namespace testsupport
