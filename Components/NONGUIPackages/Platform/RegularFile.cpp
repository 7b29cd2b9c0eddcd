#include "RegularFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "Exceptions.h"
#include "UniqueFd.h"

namespace Platform {

namespace {

FileRead Refused(FileReadStatus status, std::string message) {
  FileRead result;
  result.status = status;
  result.message = std::move(message);
  return result;
}

std::string ErrnoText(int err) {
  return std::strerror(err);
}

std::string NotRegularText(const std::string& path) {
  return path + " is not a regular file";
}

// Writes everything or raises; short writes are continued.
void WriteAll(int fd, const std::string& bytes, const std::string& path) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw Exception("Cannot write " + path + ": " + ErrnoText(errno));
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
}

// The save's temporary names: "." + the file's name + "." + the saving process's id +
// "." + an attempt number + ".tmp".
std::string TemporaryName(const std::string& fileName, pid_t pid, int attempt) {
  return "." + fileName + "." + std::to_string(pid) + "." + std::to_string(attempt) + ".tmp";
}

// The process id in a name of that pattern, or 0 when the name is not one of them.
pid_t PidOfTemporary(const std::string& name, const std::string& fileName) {
  const std::string prefix = "." + fileName + ".";
  const std::string suffix = ".tmp";
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return 0;
  }
  const std::string middle =
      name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  const std::size_t dot = middle.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == middle.size() ||
      middle.find_first_not_of("0123456789.") != std::string::npos ||
      middle.find('.', dot + 1) != std::string::npos) {
    return 0;
  }
  long pid = 0;
  const auto [ptr, ec] = std::from_chars(middle.data(), middle.data() + dot, pid);
  return ec == std::errc() && pid > 0 ? static_cast<pid_t>(pid) : 0;
}

// A save's temporary file beside the file it replaces, created with the usual
// permissions (0666 less the umask). It is removed again on every way out unless Kept()
// after its rename into place.
class TemporaryFile {
 public:
  TemporaryFile(const std::filesystem::path& folder, const std::string& fileName) {
    for (int attempt = 0; !fd_ && attempt < 100; ++attempt) {
      path_ = (folder / TemporaryName(fileName, ::getpid(), attempt)).string();
      fd_.reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      error_ = errno;
      if (!fd_ && error_ != EEXIST) {
        break;
      }
    }
    if (!fd_) {
      path_.clear();
    }
  }
  ~TemporaryFile() {
    fd_.reset();
    if (!path_.empty()) {
      ::unlink(path_.c_str());
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool Made() const { return !path_.empty(); }
  int Error() const { return error_; }  // why it could not be made
  const std::string& Path() const { return path_; }
  UniqueFd& Fd() { return fd_; }
  void Kept() { path_.clear(); }

 private:
  UniqueFd fd_;
  std::string path_;
  int error_ = 0;
};

}  // namespace

std::string SizeText(std::size_t bytes) {
  constexpr std::size_t kKiB = 1024;
  constexpr std::size_t kMiB = 1024 * kKiB;
  if (bytes >= kMiB && bytes % kMiB == 0) {
    return std::to_string(bytes / kMiB) + " MiB";
  }
  if (bytes >= kKiB && bytes % kKiB == 0) {
    return std::to_string(bytes / kKiB) + " KiB";
  }
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

FileRead ReadRegularFile(const std::string& path, std::size_t maxSize) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    const int err = errno;
    return Refused(err == ENOENT ? FileReadStatus::Missing : FileReadStatus::Failed,
                   "Cannot open " + path + ": " + ErrnoText(err));
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    return Refused(FileReadStatus::Failed, "Cannot read " + path + ": " + ErrnoText(errno));
  }
  if (!S_ISREG(st.st_mode)) {
    return Refused(FileReadStatus::NotRegular, path + " is not a regular file");
  }
  const std::string tooLarge = path + " is larger than " + SizeText(maxSize);
  if (st.st_size < 0 || static_cast<std::uintmax_t>(st.st_size) > maxSize) {
    return Refused(FileReadStatus::TooLarge, tooLarge);
  }
  FileRead result;
  result.bytes.reserve(static_cast<std::size_t>(st.st_size));
  // Files under /proc say 0 and have more: the bound, not the stated size, ends the read.
  const std::size_t limit = maxSize < SIZE_MAX ? maxSize + 1 : maxSize;
  char buffer[65536];
  while (result.bytes.size() < limit) {
    const std::size_t want = std::min(sizeof buffer, limit - result.bytes.size());
    const ssize_t n = ::read(fd.get(), buffer, want);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return Refused(FileReadStatus::Failed, "Cannot read " + path + ": " + ErrnoText(errno));
    }
    if (n == 0) {
      break;
    }
    result.bytes.append(buffer, static_cast<std::size_t>(n));
  }
  if (result.bytes.size() > maxSize) {
    return Refused(FileReadStatus::TooLarge, tooLarge);
  }
  result.status = FileReadStatus::Read;
  return result;
}

std::string ResolveLinks(const std::string& path) {
  std::filesystem::path current(path);
  // As many links as the system itself follows before it calls the chain a loop.
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      return current.string();
    }
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::read_symlink(current, ec);
    if (ec) {
      throw Exception("Cannot follow the link " + current.string() + ": " + ec.message());
    }
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  throw Exception("Cannot follow the link " + path + ": " + ErrnoText(ELOOP));
}

int RemoveStaleTemporaries(const std::string& path) {
  int removed = 0;
  std::error_code ec;
  const std::filesystem::path target(ResolveLinks(path));
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  const std::string fileName = target.filename().string();
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    const pid_t pid = PidOfTemporary(name, fileName);
    if (pid == 0) {
      continue;
    }
    // A save still running in another process keeps its file; ours are never pending here.
    if (pid != ::getpid() && (::kill(pid, 0) == 0 || errno == EPERM)) {
      continue;
    }
    struct stat st {};
    if (::lstat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::unlink(entry.path().c_str()) == 0) {
      ++removed;
    }
  }
  return removed;
}

void WriteFileAtomically(const std::string& path, const std::string& bytes,
                         const std::string& what) {
  const auto failure = [&](const std::string& why) {
    return Exception("Cannot save " + what + " to " + path + ": " + why);
  };
  // A link stays a link: its target is what gets replaced.
  const std::filesystem::path target(ResolveLinks(path));
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    throw failure(NotRegularText(path));
  }
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  TemporaryFile temp(folder, target.filename().string());
  if (!temp.Made()) {
    throw failure(ErrnoText(temp.Error()));
  }
  if (exists) {
    ::fchmod(temp.Fd().get(), old.st_mode & 07777);
  }
  WriteAll(temp.Fd().get(), bytes, temp.Path());
  const bool synced = ::fsync(temp.Fd().get()) == 0;
  const int syncErr = errno;
  // A failed close can be the write-back's first report of a full disk.
  const bool closed = ::close(temp.Fd().release()) == 0;
  if (!closed || !synced) {
    throw failure(ErrnoText(synced ? errno : syncErr));
  }
  if (::rename(temp.Path().c_str(), target.c_str()) != 0) {
    throw failure(ErrnoText(errno));
  }
  temp.Kept();
  // Make the rename itself durable.
  const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) {
    ::fsync(dir.get());
  }
}

}  // namespace Platform
