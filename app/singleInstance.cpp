#include "singleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <filesystem>

#include "eventsFile.h"

namespace {

// How long a second start waits for the first to take its request.
constexpr int kForwardWaitMs = 2000;
constexpr char kActivate[] = "activate\n";

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

}  // namespace

SingleInstance::SingleInstance(const std::string& eventsFile, QObject* parent)
    : QObject(parent), eventsFile_(eventsFile) {}

SingleInstance::~SingleInstance() {
  if (server_ != nullptr) {
    server_->close();
  }
  if (lockFd_ >= 0) {
    ::close(lockFd_);  // releases the lock; the file stays for the next start
  }
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

bool SingleInstance::Acquire() {
  if (lockFd_ >= 0) {
    return true;
  }
  const std::string lockPath = LockPath(eventsFile_);
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    return true;  // a folder we may not write: nothing to guard with
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    QLocalSocket socket;
    socket.connectToServer(ServerName(eventsFile_));
    if (socket.waitForConnected(kForwardWaitMs)) {
      socket.write(kActivate);
      socket.waitForBytesWritten(kForwardWaitMs);
      socket.disconnectFromServer();
    }
    return false;
  }
  lockFd_ = fd;
  Listen();
  return true;
}

void SingleInstance::Listen() {
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  const QString name = ServerName(eventsFile_);
  // We hold the lock: a socket of that name is left from a program that was killed.
  QLocalServer::removeServer(name);
  if (!server_->listen(name)) {
    return;  // later starts still stop at the lock; they only cannot call us forward
  }
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
      // The request may be whole already, or still on its way.
      const auto take = [this, client] {
        if (client->readAll().contains('\n') && OnActivate) {
          OnActivate();
        }
      };
      connect(client, &QLocalSocket::readyRead, this, take);
      connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      if (client->bytesAvailable() > 0) {
        take();
      }
    }
  });
}
