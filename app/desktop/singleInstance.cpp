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
// A later start sends one short line at once. A caller that sends more, or no line end
// in this time, is no start of this program and is dropped; so are callers beyond the
// limit, so that none of them can hold the window's thread or its descriptors.
constexpr std::size_t kRequestMax = 64;
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

// Asks the program listening at the path to come forward: connects and writes the
// request, within kForwardWaitMs in all. Nothing is read back.
void Forward(const std::string& path) {
  sockaddr_un address;
  const Platform::UniqueFd connection = OpenSocket(path, address);
  if (!connection) {
    return;
  }
  const int fd = connection.get();
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kForwardWaitMs);
  const auto msLeft = [deadline] {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
  };
  const auto* to = reinterpret_cast<const sockaddr*>(&address);
  int connected = ::connect(fd, to, sizeof address);
  // A full queue of callers: the first program is busy for a moment, so try again.
  while (connected != 0 && errno == EAGAIN && msLeft() > 0) {
    ::poll(nullptr, 0, std::min(msLeft(), 10));
    connected = ::connect(fd, to, sizeof address);
  }
  std::size_t sent = 0;
  const std::size_t size = sizeof kActivate - 1;
  while (connected == 0 && sent < size) {
    const ssize_t n = ::send(fd, kActivate + sent, size - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    pollfd writable{fd, POLLOUT, 0};
    if (n < 0 && errno == EAGAIN && ::poll(&writable, 1, msLeft()) > 0) {
      continue;
    }
    break;
  }
}

// One accepted connection, read without blocking until its request's line end, then
// closed. It never blocks: the descriptor is non-blocking and read when it has data.
class Caller : public QObject {
 public:
  Caller(Platform::UniqueFd fd, std::function<void()> onActivate, QObject* parent)
      : QObject(parent), fd_(std::move(fd)), onActivate_(std::move(onActivate)) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] { Read(); });
    QTimer::singleShot(kCallerWaitMs, this, [this] { Close(); });
    Read();  // the request may be whole already
  }
  ~Caller() override { CloseDescriptor(); }

 private:
  void Read() {
    char buffer[kRequestMax];
    while (fd_) {
      const ssize_t n = ::recv(fd_.get(), buffer, kRequestMax - request_.size(), 0);
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
        Close();
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
  // Another user's lock file, held or not, says nothing about this user's program: the
  // start stops and says so rather than call a window that may not be there.
  Platform::UniqueFd fd(
      ::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  struct stat st {};
  const bool found = fd ? ::fstat(fd.get(), &st) == 0 : ::lstat(lockPath.c_str(), &st) == 0;
  if (found && (S_ISLNK(st.st_mode) || st.st_uid != user_)) {
    problem_ =
        "The lock file " + lockPath +
        (S_ISLNK(st.st_mode) ? " is a link"
                             : " belongs to another user (uid " + std::to_string(st.st_uid) + ")") +
        ", so Vazudovu cannot tell whether it already runs on " + eventsFile_ +
        ". Remove the lock file, or start with another events file (--events-file).";
    return false;
  }
  if (!fd) {
    return true;  // a folder we may not write: nothing to guard with
  }
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    fd.reset();
    Forward(SocketPath(eventsFile_));
    return false;
  }
  lockFd_ = std::move(fd);
  Listen();
  return true;
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
        this);
  }
}
