#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

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

// Closes the descriptor on every way out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
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
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
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

}  // namespace Platform
