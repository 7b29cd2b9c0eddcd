// Starting another program from a command line, optionally waiting for its end.
//
// The command line is split into the program and its arguments the way Windows
// programs split theirs, and the program is started directly with posix_spawnp:
// no shell ever sees the line, so text substituted into it (an item's
// description, a file name) can never run as a command.

#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "CommonCodeLite.h"
#include "Exceptions.h"

extern char** environ;

namespace VIDodadaZadoVove {

namespace {

// The command line buffer holds 4095 bytes and its terminating zero.
constexpr std::size_t kCommandLineBufferSize = kMaxCommandLineLength + 1;

constexpr auto kEndWait = std::chrono::milliseconds(300);
constexpr auto kEndPollStep = std::chrono::milliseconds(10);
constexpr auto kPauseBetweenWaits = std::chrono::milliseconds(500);

}  // namespace

// Blanks separate words; double quotes group words and are removed. Backslashes
// are literal unless they precede a double quote: then 2n of them give n
// backslashes and the quote opens or closes a group, 2n+1 give n backslashes
// and a literal quote.
std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  const std::size_t n = line.size();
  std::size_t i = 0;
  for (;;) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) {
      ++i;
    }
    if (i >= n) {
      break;
    }
    std::string word;
    bool quoted = false;
    while (i < n) {
      const char c = line[i];
      if (!quoted && (c == ' ' || c == '\t')) {
        break;
      }
      if (c == '\\') {
        std::size_t j = i;
        while (j < n && line[j] == '\\') {
          ++j;
        }
        const std::size_t count = j - i;
        if (j < n && line[j] == '"') {
          word.append(count / 2, '\\');
          if (count % 2 == 1) {
            word.push_back('"');
          } else {
            quoted = !quoted;
          }
          i = j + 1;
        } else {
          word.append(count, '\\');
          i = j;
        }
      } else if (c == '"') {
        quoted = !quoted;
        ++i;
      } else {
        word.push_back(c);
        ++i;
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::string QuoteCommandLineArgument(const std::string& value, bool insideQuotes) {
  std::string plain;
  plain.reserve(value.size());
  for (const char c : value) {
    if (c != '\0') {
      plain.push_back(c);
    }
  }
  // A value without blanks, quotes and backslashes reads back as itself.
  if (!plain.empty() && plain.find_first_of(" \t\"\\") == std::string::npos) {
    return plain;
  }
  std::string quoted = insideQuotes ? "\"\"" : "\"";  // inside a group: close it first
  std::size_t backslashes = 0;
  for (const char c : plain) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(2 * backslashes + 1, '\\');  // 2n+1 give n and a literal quote
    } else {
      quoted.append(backslashes, '\\');  // literal when no quote follows
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(2 * backslashes, '\\');    // the closing quote follows: 2n give n
  quoted += insideQuotes ? "\"\"" : "\"";  // and reopen the group
  return quoted;
}

bool CommandLineQuotedAt(const std::string& line, std::size_t pos) {
  bool quoted = false;
  const std::size_t end = std::min(pos, line.size());
  std::size_t i = 0;
  while (i < end) {
    if (line[i] == '\\') {
      std::size_t j = i;
      while (j < line.size() && line[j] == '\\') {
        ++j;
      }
      if (j < end && line[j] == '"') {
        if ((j - i) % 2 == 0) {
          quoted = !quoted;
        }
        i = j + 1;
      } else {
        i = j;
      }
    } else {
      if (line[i] == '"') {
        quoted = !quoted;
      }
      ++i;
    }
  }
  return quoted;
}

namespace {

// Children nobody waits for are reaped by a thread of their own, so they never
// linger as zombies. A SIGCHLD handler or ignoring SIGCHLD would do it for all
// children at once and break other code that waits for its own.
std::mutex unreapedMutex;
std::vector<pid_t> unreaped;  // children whose reaper thread could not be started

void ReapUnreaped() {
  std::lock_guard<std::mutex> lock(unreapedMutex);
  for (auto it = unreaped.begin(); it != unreaped.end();) {
    const pid_t r = waitpid(*it, nullptr, WNOHANG);
    if (r == *it || (r == -1 && errno == ECHILD)) {
      it = unreaped.erase(it);
    } else {
      ++it;
    }
  }
}

void ReapInBackground(pid_t pid) {
  try {
    std::thread([pid] {
      while (waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the child is reaped by a later launch instead.
    std::lock_guard<std::mutex> lock(unreapedMutex);
    unreaped.push_back(pid);
  }
}

enum class EndState { Running, Ended, Lost };

// Waits up to kEndWait for the child to end, looking every kEndPollStep.
EndState WaitForEnd(pid_t pid, int& status) {
  const auto deadline = std::chrono::steady_clock::now() + kEndWait;
  for (;;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      return EndState::Ended;
    }
    if (r == -1) {
      if (errno == EINTR) {
        continue;
      }
      return EndState::Lost;  // someone else reaped it: its exit status is gone
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return EndState::Running;
    }
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(kEndPollStep, deadline - now));
  }
}

class SpawnAttributes {
 public:
  SpawnAttributes() {
    const int rc = posix_spawnattr_init(&attr_);
    if (rc != 0) {
      throw std::system_error(rc, std::generic_category(), "posix_spawnattr_init");
    }
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attr_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t* Get() { return &attr_; }

 private:
  posix_spawnattr_t attr_;
};

bool Launch(std::string commandLine, bool wait, std::uint32_t* exitCode, bool detached) {
  ReapUnreaped();

  if (commandLine.size() >= kCommandLineBufferSize) {
    return false;
  }
  // The line is handed over as a zero-terminated text: it ends at its first zero byte.
  commandLine.resize(std::strlen(commandLine.c_str()));

  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty()) {
    return false;
  }
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);

  // The program starts with the default signal handling and nothing blocked,
  // whatever this program changed for itself. Detached, it gets a session of
  // its own and so no longer belongs to this program's terminal.
  SpawnAttributes attributes;
  sigset_t noSignals;
  sigset_t allSignals;
  sigemptyset(&noSignals);
  sigfillset(&allSignals);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (detached) {
    flags |= POSIX_SPAWN_SETSID;
  }
  int rc = posix_spawnattr_setflags(attributes.Get(), flags);
  if (rc == 0) {
    rc = posix_spawnattr_setsigmask(attributes.Get(), &noSignals);
  }
  if (rc == 0) {
    rc = posix_spawnattr_setsigdefault(attributes.Get(), &allSignals);
  }
  if (rc != 0) {
    throw std::system_error(rc, std::generic_category(), "posix_spawnattr");
  }

  // The child inherits the environment, the current directory and the
  // descriptors not marked close-on-exec. glibc reports a failed exec here.
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, attributes.Get(), argv.data(), environ) != 0) {
    return false;
  }

  if (!wait) {
    ReapInBackground(pid);
    return true;
  }

  int status = 0;
  EndState state;
  while ((state = WaitForEnd(pid, status)) == EndState::Running) {
    std::this_thread::sleep_for(kPauseBetweenWaits);
  }
  if (state == EndState::Ended && exitCode != nullptr) {
    if (WIFEXITED(status)) {
      *exitCode = static_cast<std::uint32_t>(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
      // Killed by a signal: 128 plus the signal number, as shells report it.
      *exitCode = 128u + static_cast<std::uint32_t>(WTERMSIG(status));
    }
  }
  return true;
}

}  // namespace

bool LaunchApplication(std::string CommandLine, std::uint16_t ShowWindow, bool Wait,
                       std::uint32_t* ExitCode, bool Detached) {
  // How the first window is shown is up to the started program here.
  (void)ShowWindow;
  try {
    return Launch(std::move(CommandLine), Wait, ExitCode, Detached);
  } catch (const std::exception& e) {
    throw Platform::Exception(
        Platform::Format("Internal Error in [%s] msg: %s", "LaunchApplication", e.what()));
  }
}

}  // namespace VIDodadaZadoVove
