#include "events/eventsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <signal.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <limits>

#include "CommonCodeLite.h"
#include "Exceptions.h"

namespace events_file {

namespace {

std::string ErrnoText(int err) {
  return std::strerror(err);
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
      throw Platform::Exception("Cannot write " + path + ": " + ErrnoText(errno));
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
}

std::string NotRegularText(const std::string& path) {
  return path + " is not a regular file";
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

// Cuts a text into lines at CR LF, LF or CR. Both ends are found with memchr, and where
// the next LF lies is kept from line to line, so each byte is searched about once
// whichever line end the file uses.
class LineCutter {
 public:
  explicit LineCutter(std::string_view all) : all_(all) {}
  bool Done() const { return start_ >= all_.size(); }
  std::size_t Start() const { return start_; }

  // The next line without its line end; only while not Done().
  std::string_view Next() {
    const char* const data = all_.data();
    if (nextLf_ < start_ || !lfSought_) {
      const void* lf = std::memchr(data + start_, '\n', all_.size() - start_);
      nextLf_ = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - data)
                              : all_.size();
      lfSought_ = true;
    }
    const void* cr = std::memchr(data + start_, '\r', nextLf_ - start_);
    std::size_t end =
        cr != nullptr ? static_cast<std::size_t>(static_cast<const char*>(cr) - data) : nextLf_;
    const std::string_view line = all_.substr(start_, end - start_);
    if (end + 1 < all_.size() && all_[end] == '\r' && all_[end + 1] == '\n') {
      ++end;
    }
    start_ = end + 1;
    return line;
  }

 private:
  std::string_view all_;
  std::size_t start_ = 0;
  std::size_t nextLf_ = 0;  // the first LF at or after start_, or the size when none
  bool lfSought_ = false;
};

}  // namespace

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
      throw Platform::Exception("Cannot follow the link " + current.string() + ": " + ec.message());
    }
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  throw Platform::Exception("Cannot follow the link " + path + ": " + ErrnoText(ELOOP));
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

std::string DefaultPath() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) {
    return kFileName;
  }
  return (exe.parent_path() / kFileName).string();
}

void AppendField(std::string& line, const std::string& text, std::intptr_t object) {
  char digits[24];
  const auto end = std::to_chars(std::begin(digits), std::end(digits), object).ptr;
  line += text;
  line += '|';
  line.append(digits, end);
  line += '|';
}

std::vector<std::string> SplitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  for (LineCutter cutter(bytes); !cutter.Done();) {
    lines.emplace_back(cutter.Next());
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::size_t total = 0;
  for (const auto& line : lines) {
    total += line.size() + 2;
  }
  std::string bytes;
  bytes.reserve(total);
  for (const auto& line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

std::intptr_t ObjectFromField(std::string_view field) {
  // Nearly every object of a file is one digit, most of them "0".
  if (field.size() == 1 && field[0] >= '0' && field[0] <= '9') {
    return field[0] - '0';
  }
  std::intptr_t value = 0;
  const char* first = field.data();
  const char* last = first + field.size();
  if (first != last && *first == '+') {
    ++first;
  }
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last || first == last) {
    return 0;
  }
  return value;
}

bool ReadFile(const std::string& path, std::string& bytes) {
  // Without O_NONBLOCK a FIFO in the file's place would hold the start until a writer came.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      return false;
    }
    throw Platform::Exception("Cannot open " + path + ": " + ErrnoText(errno));
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw Platform::Exception(NotRegularText(path));
  }
  bytes.clear();
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      const int err = errno;
      ::close(fd);
      throw Platform::Exception("Cannot read " + path + ": " + ErrnoText(err));
    }
    if (n == 0) {
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool ReadFields(const std::string& path, FieldLines& lines) {
  std::string bytes;
  if (!ReadFile(path, bytes)) {
    return false;
  }
  lines = FieldLines(std::move(bytes));
  return true;
}

FieldLines::FieldLines(std::string bytes)
    : bytes_(std::make_unique<const std::string>(std::move(bytes))) {
  const std::string_view all(*bytes_);
  if (all.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw Platform::Exception("The events file is 4 GiB or more and is not read");
  }
  // Counted first, so that each list is allocated once.
  std::size_t bars = 0;
  std::size_t breaks = 0;
  for (const char ch : all) {
    bars += ch == '|' ? 1 : 0;
    breaks += ch == '\r' || ch == '\n' ? 1 : 0;
  }
  fieldEnds_.reserve(bars + breaks + 1);
  lineStarts_.reserve(breaks + 1);
  lineEnds_.reserve(breaks + 1);
  for (LineCutter cutter(all); !cutter.Done();) {
    const auto lineStart = static_cast<std::uint32_t>(cutter.Start());
    const std::string_view line = cutter.Next();
    lineStarts_.push_back(lineStart);
    for (std::size_t bar = line.find('|'); bar != std::string_view::npos;
         bar = line.find('|', bar + 1)) {
      fieldEnds_.push_back(static_cast<std::uint32_t>(lineStart + bar));
    }
    fieldEnds_.push_back(static_cast<std::uint32_t>(lineStart + line.size()));
    lineEnds_.push_back(static_cast<std::uint32_t>(fieldEnds_.size()));
  }
}

ReadAhead::ReadAhead(const std::string& path)
    // Read on the spot when taken should no thread be had.
    : read_(std::async(std::launch::async | std::launch::deferred, [path] {
        std::pair<bool, FieldLines> read;
        read.first = ReadFields(path, read.second);
        return read;
      })) {}

bool ReadAhead::Take(FieldLines& lines) {
  std::pair<bool, FieldLines> read = read_.get();
  lines = std::move(read.second);
  return read.first;
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
  // A link stays a link: its target is what gets replaced.
  const std::filesystem::path target(ResolveLinks(path));
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    throw Platform::Exception("Cannot save the events to " + path + ": " + NotRegularText(path));
  }
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  // The temporary file is created with the usual permissions (0666 less the umask)
  // and then takes the old file's, if there is one.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = (folder / TemporaryName(target.filename().string(), ::getpid(), attempt)).string();
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) {
      break;
    }
  }
  if (fd < 0) {
    throw Platform::Exception("Cannot save the events to " + path + ": " + ErrnoText(errno));
  }
  bool fdOpen = true;
  try {
    if (exists) {
      ::fchmod(fd, old.st_mode & 07777);
    }
    WriteAll(fd, bytes, temp);
    const bool synced = ::fsync(fd) == 0;
    const int syncErr = errno;
    fdOpen = false;
    if (::close(fd) != 0 || !synced) {
      throw Platform::Exception("Cannot save the events to " + path + ": " +
                                ErrnoText(synced ? errno : syncErr));
    }
  } catch (...) {
    if (fdOpen) {
      ::close(fd);
    }
    ::unlink(temp.c_str());
    throw;
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw Platform::Exception("Cannot save the events to " + path + ": " + ErrnoText(err));
  }
  // Make the rename itself durable.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace events_file
