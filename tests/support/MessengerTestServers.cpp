#include "MessengerTestServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <sstream>

#include "LoopbackSocket.h"

namespace testsupport {

namespace {

// Waits up to 50 ms for the descriptor to become readable.
bool Readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, 50) > 0;
}

std::string Word(const std::string& line, int index) {
  std::istringstream words(line);
  std::string word;
  for (int i = 0; i <= index; ++i) {
    if (!(words >> word)) {
      return {};
    }
  }
  return word;
}

}  // namespace

// ---- ScriptedMsnServer

ScriptedMsnServer::ScriptedMsnServer(Script script) : script_(std::move(script)) {
  listener_ = ListenOnLoopback(port_);
  if (listener_ >= 0) {
    thread_ = std::thread([this] { Serve(); });
  }
}

ScriptedMsnServer::~ScriptedMsnServer() {
  stop_.store(true);
  if (thread_.joinable()) {
    thread_.join();
  }
  for (std::thread& talker : talkers_) {
    talker.join();
  }
  if (listener_ >= 0) {
    ::close(listener_);
  }
}

void ScriptedMsnServer::Serve() {
  while (!stop_.load()) {
    if (!Readable(listener_)) {
      continue;
    }
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      const int connection = ++connections_;
      talkers_.emplace_back([this, fd, connection] { Talk(fd, connection); });
    }
  }
}

void ScriptedMsnServer::Talk(int fd, int connection) {
  std::string pending;
  bool open = true;
  while (open && !stop_.load()) {
    std::size_t lf;
    while (open && (lf = pending.find("\r\n")) != std::string::npos) {
      MsnCommand command;
      command.iConnection = connection;
      command.asLine = pending.substr(0, lf);
      command.asWord = Word(command.asLine, 0);
      command.asTrId = Word(command.asLine, 1);
      std::size_t used = lf + 2;
      if (command.asWord == "MSG") {
        const std::size_t length = std::stoul(Word(command.asLine, 3));
        if (pending.size() < used + length) {
          break;  // the payload is still on its way
        }
        command.asPayload = pending.substr(used, length);
        used += length;
      }
      pending.erase(0, used);
      {
        std::lock_guard<std::mutex> guard(lock_);
        commands_.push_back(command);
      }
      const MsnReply reply = script_ ? script_(command) : DefaultReply(command);
      for (std::size_t i = 0; i < reply.vecChunks.size() && !stop_.load(); ++i) {
        if (i > 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(reply.iIntervalMs));
        }
        const std::string& chunk = reply.vecChunks[i];
        if (::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0) {
          break;  // the client has gone
        }
      }
      open = !reply.bClose;
    }
    if (!open || !Readable(fd)) {
      continue;
    }
    char chunk[4096];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0) {
      break;
    }
    pending.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(fd);
}

MsnReply ScriptedMsnServer::DefaultReply(const MsnCommand& c) const {
  const std::string& id = c.asTrId;
  if (c.asWord == "VER") {
    return {{"VER " + id + " MSNP10 CVR0\r\n"}};
  }
  if (c.asWord == "CVR") {
    return {{"CVR " + id + " 6.2.0208 6.2.0208 6.2.0208 http://download.test http://test\r\n"}};
  }
  if (c.asWord == "USR" && c.asLine.find(" TWN I ") != std::string::npos) {
    return {{"USR " + id +
             " TWN S lc=1033,id=507,tw=40,fs=1,ru=http%3A%2F%2Fmessenger%2Emsn%2Ecom,ct=1062630"
             "100,kpp=1,kv=5,ver=2.1.0173.1,tpf=4c3a2b\r\n"}};
  }
  if (c.asWord == "USR" && c.asLine.find(" TWN S ") != std::string::npos) {
    const std::string profile = "MIME-Version: 1.0\r\nContent-Type: text/x-msmsgsprofile\r\n\r\n";
    return {{"USR " + id + " OK sender@test.example sender@test.example 1 0\r\n",
             "MSG Hotmail Hotmail " + std::to_string(profile.size()) + "\r\n" + profile}};
  }
  if (c.asWord == "USR") {  // the switchboard's: account and cookie
    return {{"USR " + id + " OK sender@test.example Sender\r\n"}};
  }
  if (c.asWord == "CHG") {
    return {{"CHG " + id + " NLN 0\r\n", "ILN " + id + " NLN friend@test.example Friend 0\r\n"}};
  }
  if (c.asWord == "XFR") {
    return {{"XFR " + id + " SB 127.0.0.1:" + std::to_string(port_) +
             " CKI 17262740.1050826919.32308\r\n"}};
  }
  if (c.asWord == "CAL") {
    return {{"CAL " + id + " RINGING 11752013\r\n", "JOI " + Word(c.asLine, 2) + " Friend\r\n"}};
  }
  if (c.asWord == "OUT") {
    return {{}, true};
  }
  if (c.asWord == "PNG") {
    return {{"QNG 50\r\n"}};
  }
  return {};  // MSG: acknowledged by silence
}

std::vector<MsnCommand> ScriptedMsnServer::Commands() const {
  std::lock_guard<std::mutex> guard(lock_);
  return commands_;
}

std::vector<std::string> ScriptedMsnServer::Lines(int connection) const {
  std::vector<std::string> lines;
  for (const MsnCommand& command : Commands()) {
    if (connection == 0 || command.iConnection == connection) {
      lines.push_back(command.asLine);
    }
  }
  return lines;
}

// ---- FakePassportServer

namespace {

// How many pieces a stalling server sends before it gives up and closes: many times what
// the shortened sign-in allows.
constexpr int kStallPieces = 250;

}  // namespace

SSL_CTX* NewSelfSignedServerContext() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  bool made = false;
  if (key != nullptr && cert != nullptr && ctx != nullptr) {
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    made = X509_sign(cert, key, EVP_sha256()) > 0 && SSL_CTX_use_certificate(ctx, cert) == 1 &&
           SSL_CTX_use_PrivateKey(ctx, key) == 1;
  }
  X509_free(cert);
  EVP_PKEY_free(key);
  if (!made) {
    SSL_CTX_free(ctx);
    return nullptr;
  }
  return ctx;
}

FakePassportServer::FakePassportServer(Script script)
    : FakePassportServer(std::move(script), Options{}) {}

FakePassportServer::FakePassportServer(Script script, Options options)
    : script_(std::move(script)), options_(std::move(options)) {
  ctx_ = NewSelfSignedServerContext();
  if (ctx_ != nullptr) {
    listener_ = ListenOnLoopback(port_);
  }
  if (listener_ >= 0) {
    thread_ = std::thread([this] { Serve(); });
  } else {
    port_ = 0;
  }
}

FakePassportServer::~FakePassportServer() {
  stop_.store(true);
  if (thread_.joinable()) {
    thread_.join();
  }
  if (listener_ >= 0) {
    ::close(listener_);
  }
  SSL_CTX_free(ctx_);
}

std::string FakePassportServer::NexusUrl() const {
  return "https://127.0.0.1:" + std::to_string(port_) + "/rdr/pprdr.asp";
}

std::vector<FakePassportServer::Request> FakePassportServer::Requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

void FakePassportServer::Serve() {
  // A client that goes while we write must not end the tests.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  int connections = 0;
  while (!stop_.load()) {
    if (!Readable(listener_)) {
      continue;
    }
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      Talk(fd, ++connections);
      ::close(fd);
    }
  }
}

std::string FakePassportServer::NexusAnswer() const {
  std::string header = options_.asNexusHeader;
  if (header.empty()) {
    header =
        "PassportURLs: DARealm=Passport.Net,DALogin=127.0.0.1:%PORT%/login2.srf,"
        "DAReg=http://reg.test/,Properties=https://prop.test/,ConfigVersion=15";
  }
  const std::size_t at = header.find("%PORT%");
  if (at != std::string::npos) {
    header.replace(at, 6, std::to_string(port_));
  }
  return "HTTP/1.1 200 OK\r\n" + header + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

void FakePassportServer::StallHandshake(int fd) {
  std::string hello(4096, '\0');
  if (Readable(fd)) {
    ::recv(fd, hello.data(), hello.size(), 0);
  }
  // A handshake record of 16 KiB whose body never completes.
  const std::string text =
      std::string("\x16\x03\x03\x40\x00", 5) + std::string(kStallPieces, '\x02');
  for (std::size_t i = 0; i < text.size() && !stop_.load(); ++i) {
    if (::send(fd, text.data() + i, 1, MSG_NOSIGNAL) < 1) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.iStallIntervalMs));
  }
}

void FakePassportServer::Trickle(SSL* ssl, const std::vector<std::string>& pieces) {
  for (std::size_t i = 0; i < pieces.size() && !stop_.load(); ++i) {
    if (SSL_write(ssl, pieces[i].data(), static_cast<int>(pieces[i].size())) <= 0) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.iStallIntervalMs));
  }
}

void FakePassportServer::Talk(int fd, int connection) {
  if (options_.stall == Stall::kHandshake && connection > 1) {
    StallHandshake(fd);
    return;
  }
  timeval limit{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  SSL* ssl = SSL_new(ctx_);
  SSL_set_fd(ssl, fd);
  if (SSL_accept(ssl) != 1) {
    SSL_free(ssl);
    return;
  }
  std::string pending;
  char chunk[4096];
  while (pending.find("\r\n\r\n") == std::string::npos) {
    const int got = SSL_read(ssl, chunk, sizeof chunk);
    if (got <= 0) {
      SSL_free(ssl);
      return;
    }
    pending.append(chunk, static_cast<std::size_t>(got));
  }
  Request request;
  std::istringstream lines(pending.substr(0, pending.find("\r\n\r\n")));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    request.vecLines.push_back(line);
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(request);
  }
  std::string answer;
  const bool nexus = request.vecLines[0].rfind("GET /rdr/pprdr.asp ", 0) == 0;
  if (!nexus && options_.stall == Stall::kStatusLine) {
    std::vector<std::string> bytes;
    for (char c : "HTTP/1.1 200 " + std::string(kStallPieces, 'x')) {
      bytes.emplace_back(1, c);
    }
    Trickle(ssl, bytes);
  } else if (!nexus && options_.stall == Stall::kHeaderLines) {
    std::vector<std::string> lines = {"HTTP/1.1 200 OK\r\n"};
    for (int i = 0; i < kStallPieces; ++i) {
      lines.push_back("X-Padding: " + std::to_string(i) + "\r\n");
    }
    Trickle(ssl, lines);
  }
  if (nexus) {
    answer = NexusAnswer();
  } else if (options_.stall != Stall::kNone) {
    // What was left of the stalled answer was never going to come.
  } else if (script_) {
    answer = script_(request, ++loginRequests_);
  } else {
    answer = std::string("HTTP/1.1 200 OK\r\nAuthentication-Info: Passport1.4 da-status=success,") +
             "tname=MSPAuth,from-PP='" + kTicket + "',ru=http://messenger.msn.com\r\n" +
             "Content-Length: 0\r\n\r\n";
  }
  if (!answer.empty()) {
    SSL_write(ssl, answer.data(), static_cast<int>(answer.size()));
  }
  SSL_shutdown(ssl);
  SSL_free(ssl);
}

}  // namespace testsupport
