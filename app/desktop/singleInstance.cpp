#include "desktop/singleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "desktop/xdgFolders.h"
#include "events/eventsFile.h"

namespace {

// How long a second start waits for the first to take its request.
constexpr int kForwardWaitMs = 2000;
constexpr char kActivate[] = "activate\n";
// A later start or a command sends one line at once. A caller that sends more, or no
// line end in this time, is no start of this program and is dropped; so are callers
// beyond the limit, so that none of them can hold the window's thread or its descriptors.
constexpr std::size_t kRequestMax = 64 * 1024;
// How long a start waits for a command that holds the lock for its change, and how often
// it looks again.
constexpr int kCommandLockWaitMs = 15000;
constexpr int kLockRetryMs = 20;
constexpr int kCallerWaitMs = 2000;
constexpr int kCallersMax = 8;

// The file's absolute path with links followed; two spellings of one file give one name.
std::string CanonicalPath(const std::string& eventsFile) {
  std::string resolved = eventsFile;
  try {
    resolved = events_file::ResolveLinks(eventsFile);
  } catch (const std::exception&) {
    // A looping link: its own name stands for it.
  }
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(resolved, ec);
  return ec ? std::filesystem::absolute(resolved, ec).string() : canonical.string();
}

// A socket for the path, with its address filled in; none when the path is too long for
// an address or no socket can be had.
Platform::UniqueFd OpenSocket(const std::string& path, sockaddr_un& address) {
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    return {};
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return Platform::UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

// The milliseconds left until a deadline, never below 0.
int MsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

// After a send or receive on a non-blocking socket that moved nothing: true when it is
// worth another try, the call having been interrupted or the socket having become ready
// (events) before the deadline.
bool TryAgainBy(ssize_t n, int fd, short events, std::chrono::steady_clock::time_point deadline) {
  if (n < 0 && errno == EINTR) {
    return true;
  }
  pollfd ready{fd, events, 0};
  return n < 0 && errno == EAGAIN && ::poll(&ready, 1, MsLeft(deadline)) > 0;
}

// Connects to the program listening at the path and writes the text, by the deadline.
// None when nobody listens there or the text did not go out whole.
Platform::UniqueFd ConnectAndSend(const std::string& path, const std::string& text,
                                  std::chrono::steady_clock::time_point deadline) {
  sockaddr_un address;
  Platform::UniqueFd connection = OpenSocket(path, address);
  if (!connection) {
    return {};
  }
  const int fd = connection.get();
  const auto* to = reinterpret_cast<const sockaddr*>(&address);
  int connected = ::connect(fd, to, sizeof address);
  // A full queue of callers: the first program is busy for a moment, so try again.
  while (connected != 0 && errno == EAGAIN && MsLeft(deadline) > 0) {
    ::poll(nullptr, 0, std::min(MsLeft(deadline), 10));
    connected = ::connect(fd, to, sizeof address);
  }
  if (connected != 0) {
    return {};
  }
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (TryAgainBy(n, fd, POLLOUT, deadline)) {
      continue;
    }
    return {};
  }
  return connection;
}

// Asks the program listening at the path to come forward, within kForwardWaitMs in all.
// Nothing is read back. False when nobody listens there.
bool Forward(const std::string& path) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kForwardWaitMs);
  return static_cast<bool>(ConnectAndSend(path, kActivate, deadline));
}

// Reads one line (without its end) by the deadline; false when none came whole.
bool ReadReplyLine(int fd, std::chrono::steady_clock::time_point deadline, std::string& line) {
  line.clear();
  char buffer[1024];
  for (;;) {
    const std::size_t end = line.find('\n');
    if (end != std::string::npos) {
      line.resize(end);
      return true;
    }
    if (line.size() > kRequestMax) {
      return false;
    }
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      line.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (TryAgainBy(n, fd, POLLIN, deadline)) {
      continue;
    }
    return false;
  }
}

// A command holding the lock says so with a read lock on the lock file's first byte,
// taken before the file's lock and dropped after it; a running program holds no such
// mark, so a start that finds the file locked and marked waits instead of leaving.
void MarkAsCommand(int fd) {
  struct flock mark {};
  mark.l_type = F_RDLCK;
  mark.l_whence = SEEK_SET;
  mark.l_start = 0;
  mark.l_len = 1;
  ::fcntl(fd, F_SETLK, &mark);
}

bool MarkedByCommand(int fd) {
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 0;
  probe.l_len = 1;
  return ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

// Opens (making it when missing) the lock file of the user. Empty with a problem when the
// file is another user's or a link; empty without one when it cannot be made.
Platform::UniqueFd OpenLockFile(const std::string& lockPath, const std::string& eventsFile,
                                unsigned user, std::string& problem) {
  // Another user's lock file, held or not, says nothing about this user's program: the
  // start stops and says so rather than call a window that may not be there.
  Platform::UniqueFd fd(
      ::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  struct stat st {};
  const bool found = fd ? ::fstat(fd.get(), &st) == 0 : ::lstat(lockPath.c_str(), &st) == 0;
  if (found && (S_ISLNK(st.st_mode) || st.st_uid != user)) {
    problem =
        "The lock file " + lockPath +
        (S_ISLNK(st.st_mode) ? " is a link"
                             : " belongs to another user (uid " + std::to_string(st.st_uid) + ")") +
        ", so Vazudovu cannot tell whether it already runs on " + eventsFile +
        ". Remove the lock file, or start with another events file (--events-file).";
    return {};
  }
  return fd;
}

// One accepted connection, read without blocking until its request's line end, then
// closed. It never blocks: the descriptor is non-blocking and read when it has data.
class Caller : public QObject {
 public:
  Caller(Platform::UniqueFd fd, std::function<void()> onActivate,
         std::function<std::string(const std::string&)> onCommand, QObject* parent)
      : QObject(parent),
        fd_(std::move(fd)),
        onActivate_(std::move(onActivate)),
        onCommand_(std::move(onCommand)) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] { Read(); });
    QTimer::singleShot(kCallerWaitMs, this, [this] { Close(); });
    Read();  // the request may be whole already
  }
  ~Caller() override { CloseDescriptor(); }

 private:
  void Read() {
    char buffer[4096];
    while (fd_) {
      const ssize_t n =
          ::recv(fd_.get(), buffer, std::min(sizeof buffer, kRequestMax - request_.size()), 0);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return;  // the rest is still on its way
      }
      if (n <= 0) {
        Close();  // ended or failed before its line end
        return;
      }
      request_.append(buffer, static_cast<std::size_t>(n));
      const std::size_t end = request_.find('\n');
      if (end != std::string::npos) {
        const bool activate = request_.compare(0, end + 1, kActivate) == 0;
        // The window may open a message while it works on a command, and this caller may
        // be gone when it returns: the reply goes out on a connection of the handler's own.
        const std::function<std::string(const std::string&)> onCommand = onCommand_;
        notifier_.setEnabled(false);
        const Platform::UniqueFd connection = std::move(fd_);
        Close();
        if (!activate && onCommand) {
          Reply(connection.get(), onCommand(request_.substr(0, end)));
        }
        if (activate && onActivate_) {
          onActivate_();
        }
        return;
      }
      if (request_.size() >= kRequestMax) {
        Close();
        return;
      }
    }
  }

  // The reply is one short line, which the socket's buffer takes at once; a caller that
  // does not read it is not waited for.
  static void Reply(int fd, std::string reply) {
    std::replace(reply.begin(), reply.end(), '\n', ' ');
    reply += '\n';
    std::size_t sent = 0;
    while (sent < reply.size()) {
      const ssize_t n = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
      } else if (!(n < 0 && errno == EINTR)) {
        return;
      }
    }
  }

  void Close() {
    CloseDescriptor();
    deleteLater();
  }

  void CloseDescriptor() {
    if (fd_) {
      notifier_.setEnabled(false);
      fd_.reset();
    }
  }

  Platform::UniqueFd fd_;
  std::function<void()> onActivate_;
  std::function<std::string(const std::string&)> onCommand_;
  std::string request_;
  QSocketNotifier notifier_{static_cast<qintptr>(fd_.get()), QSocketNotifier::Read};
};

}  // namespace

SingleInstance::SingleInstance(const std::string& eventsFile, QObject* parent)
    : SingleInstance(eventsFile, xdg::OwnUser(), parent) {}

SingleInstance::SingleInstance(const std::string& eventsFile, unsigned user, QObject* parent)
    : QObject(parent), eventsFile_(eventsFile), user_(user) {}

SingleInstance::~SingleInstance() {
  if (listenFd_) {
    delete listener_;  // before its descriptor closes
    listenFd_.reset();
    ::unlink(socketPath_.c_str());
  }
  lockFd_.reset();  // releases the lock; the file stays for the next start
}

std::string SingleInstance::LockPath(const std::string& eventsFile) {
  return CanonicalPath(eventsFile) + ".lock";
}

QString SingleInstance::ServerName(const std::string& eventsFile) {
  const std::string path = CanonicalPath(eventsFile);
  const QByteArray hash =
      QCryptographicHash::hash(QByteArray::fromStdString(path), QCryptographicHash::Sha256)
          .toHex()
          .left(32);
  return QStringLiteral("vazudovu-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

std::string SingleInstance::SocketPath(const std::string& eventsFile) {
  const std::string folder = xdg::RuntimeFolder();
  return folder.empty() ? "" : folder + "/" + ServerName(eventsFile).toStdString();
}

bool SingleInstance::Acquire() {
  if (lockFd_) {
    return true;
  }
  const std::string lockPath = LockPath(eventsFile_);
  Platform::UniqueFd fd = OpenLockFile(lockPath, eventsFile_, user_, problem_);
  if (!problem_.empty()) {
    return false;
  }
  if (!fd) {
    return true;  // a folder we may not write: nothing to guard with
  }
  // A command holds the lock for a moment; a running program holds it unmarked.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kCommandLockWaitMs);
  while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (Forward(SocketPath(eventsFile_)) || !MarkedByCommand(fd.get()) || MsLeft(deadline) == 0) {
      return false;
    }
    ::poll(nullptr, 0, kLockRetryMs);
  }
  lockFd_ = std::move(fd);
  Listen();
  return true;
}

SingleInstance::CommandWay SingleInstance::ReachForCommand(const std::string& eventsFile,
                                                           const std::string& request, int waitMs) {
  CommandWay way;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  const std::string socketPath = SocketPath(eventsFile);
  const std::string lockPath = LockPath(eventsFile);
  Platform::UniqueFd fd = OpenLockFile(lockPath, eventsFile, xdg::OwnUser(), way.reply);
  if (!way.reply.empty()) {
    return way;
  }
  if (fd) {
    MarkAsCommand(fd.get());
  }
  for (;;) {
    if (Platform::UniqueFd program = ConnectAndSend(socketPath, request + "\n", deadline)) {
      way.kind = ReadReplyLine(program.get(), deadline, way.reply) ? CommandWay::Kind::Replied
                                                                   : CommandWay::Kind::Failed;
      if (way.kind == CommandWay::Kind::Failed) {
        way.reply = "The program running on " + eventsFile + " did not answer in time";
      }
      return way;
    }
    if (!fd || ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
      way.kind = CommandWay::Kind::Locked;
      way.lock = std::move(fd);
      return way;
    }
    if (MsLeft(deadline) == 0) {
      way.reply = "The lock file " + lockPath + " stayed taken: Vazudovu runs on " + eventsFile +
                  " but cannot be reached";
      return way;
    }
    ::poll(nullptr, 0, kLockRetryMs);
  }
}

void SingleInstance::Listen() {
  // Later starts still stop at the lock when this fails; they only cannot call us forward.
  const std::string path = SocketPath(eventsFile_);
  if (path.empty()) {
    return;
  }
  sockaddr_un address;
  Platform::UniqueFd fd = OpenSocket(path, address);
  if (!fd) {
    return;
  }
  // We hold the lock: a socket of that name is left from a program that was killed.
  ::unlink(path.c_str());
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return;
  }
  // Only this user may call; nobody can connect before listen(), so none gets in first.
  if (::chmod(path.c_str(), S_IRWXU) != 0 || ::listen(fd.get(), kCallersMax) != 0) {
    ::unlink(path.c_str());
    return;
  }
  listenFd_ = std::move(fd);
  socketPath_ = path;
  listener_ = new QSocketNotifier(listenFd_.get(), QSocketNotifier::Read, this);
  connect(listener_, &QSocketNotifier::activated, this, [this] { AcceptCallers(); });
}

int SingleInstance::LiveCallers() const {
  return static_cast<int>(std::count_if(children().begin(), children().end(), [](QObject* c) {
    return dynamic_cast<Caller*>(c) != nullptr;
  }));
}

void SingleInstance::AcceptCallers() {
  for (;;) {
    Platform::UniqueFd fd(
        ::accept4(listenFd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd) {
      if (errno == EINTR || errno == ECONNABORTED) {
        continue;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        // Out of descriptors or the like: rest a while rather than spin on the notice.
        listener_->setEnabled(false);
        QTimer::singleShot(kCallerWaitMs, listener_, [this] { listener_->setEnabled(true); });
      }
      return;
    }
    if (LiveCallers() >= kCallersMax) {
      continue;  // turned away: its descriptor closes here
    }
    new Caller(
        std::move(fd),
        [this] {
          if (OnActivate) {
            OnActivate();
          }
        },
        [this](const std::string& request) {
          return OnCommand ? OnCommand(request) : std::string("error Not taken here");
        },
        this);
  }
}
