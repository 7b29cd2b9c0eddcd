#include "SmtpTestServers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "LoopbackSocket.h"

extern char** environ;

namespace testsupport {

namespace {

void SendText(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) {
      return;
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

// ---- ScriptedSmtpServer

ScriptedSmtpServer::ScriptedSmtpServer(Script script) : script_(std::move(script)) {
  listener_ = BindLoopback(port_);
  if (listener_ >= 0) {
    ::listen(listener_, 8);
    thread_ = std::thread([this] { Serve(); });
  }
}

ScriptedSmtpServer::~ScriptedSmtpServer() {
  stop_.store(true);
  if (thread_.joinable()) {
    thread_.join();
  }
  if (listener_ >= 0) {
    ::close(listener_);
  }
}

void ScriptedSmtpServer::WaitUntilQuiet() const {
  for (int i = 0; i < 500 && talking_.load(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::vector<std::string> ScriptedSmtpServer::Lines() const {
  WaitUntilQuiet();
  std::lock_guard<std::mutex> guard(lock_);
  return lines_;
}

std::vector<std::string> ScriptedSmtpServer::Commands() const {
  WaitUntilQuiet();
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<std::string> commands;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (!inData_[i]) {
      commands.push_back(lines_[i]);
    }
  }
  return commands;
}

void ScriptedSmtpServer::Serve() {
  while (!stop_.load()) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) {
      continue;
    }
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      talking_.store(true);
      connections_.fetch_add(1);
      Talk(fd);
      ::close(fd);
      talking_.store(false);
    }
  }
}

void ScriptedSmtpServer::Talk(int fd) {
  if (!script_.silent) {
    SendText(fd, script_.greeting + "\r\n");
  }
  std::string buffer;
  bool data = false;
  while (!stop_.load()) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) {
      continue;
    }
    char chunk[1024];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
      return;
    }
    buffer.append(chunk, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = buffer.find("\r\n")) != std::string::npos) {
      const std::string line = buffer.substr(0, end);
      buffer.erase(0, end + 2);
      {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.push_back(line);
        inData_.push_back(data && line != ".");
      }
      if (script_.silent) {
        continue;
      }
      std::string word;
      if (data) {
        if (line != ".") {
          continue;
        }
        data = false;
        word = ".";
      } else {
        word = line.substr(0, line.find_first_of(" :"));
        std::transform(word.begin(), word.end(), word.begin(), ::toupper);
      }
      const auto scripted = script_.replies.find(word);
      std::string reply = scripted != script_.replies.end() ? scripted->second
                          : word == "DATA"                  ? "354 Go ahead"
                          : word == "."                     ? "250 Queued"
                                                            : "250 OK";
      if (word == "DATA" && reply.rfind("354", 0) == 0) {
        data = true;
      }
      SendText(fd, reply + "\r\n");
      if (word == "QUIT") {
        return;
      }
    }
  }
}

// ---- RefusingPort

RefusingPort::RefusingPort() {
  fd_ = BindLoopback(port_);
}

RefusingPort::~RefusingPort() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

// ---- SmtpSink

SmtpSink::SmtpSink(const std::string& folder) : SmtpSink(folder, Secure()) {}

SmtpSink::SmtpSink(const std::string& folder, const Secure& secure) : folder_(folder) {
  const char* python = "/usr/bin/python3";
  if (::access(python, X_OK) != 0) {
    return;
  }
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) {
    return;
  }
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<std::string> args{python, VAZUDOVU_SMTP_SINK, folder_};
  if (!secure.tls.empty()) {
    args.insert(args.end(), {"--tls", secure.tls, secure.certificate, secure.key});
  }
  if (!secure.user.empty()) {
    args.insert(args.end(), {"--user", secure.user, secure.password});
  }
  if (secure.loginOnly) {
    args.push_back("--login-only");
  }
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  const int spawned = ::posix_spawn(&pid_, python, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  toChild_ = in[1];
  if (spawned != 0) {
    pid_ = -1;
    ::close(out[0]);
    return;
  }
  // The first line is the port; an interpreter without aiosmtpd ends without one.
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) {
      continue;
    }
    char chunk[64];
    const ssize_t n = ::read(out[0], chunk, sizeof chunk);
    if (n <= 0) {
      break;
    }
    line.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  port_ = std::atoi(line.c_str());
}

SmtpSink::~SmtpSink() {
  if (toChild_ >= 0) {
    ::close(toChild_);
  }
  if (pid_ > 0) {
    // Closing its input ends it; it gets five seconds before it is killed.
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

std::vector<std::string> SmtpSink::Mails() const {
  std::vector<std::string> mails;
  for (int n = 1;; ++n) {
    std::ifstream in(folder_ + "/mail" + std::to_string(n) + ".txt", std::ios::binary);
    if (!in) {
      break;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    mails.push_back(bytes.str());
  }
  return mails;
}

std::string SmtpSink::SignIns() const {
  std::ifstream in(folder_ + "/auth.txt", std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool SmtpSink::WaitForMails(std::size_t count, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Mails().size() < count) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace testsupport
