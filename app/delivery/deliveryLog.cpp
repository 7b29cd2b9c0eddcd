#include "delivery/deliveryLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "desktop/xdgFolders.h"

namespace delivery {

namespace {

const char* const kMask = "********";

// A field of one line: no tab or line end of its own can split the line.
std::string Clean(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      c = ' ';
    }
  }
  return text;
}

std::string Masked(std::string text, const std::set<std::string>& secrets) {
  for (const std::string& secret : secrets) {
    for (std::size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + std::char_traits<char>::length(kMask))) {
      text.replace(at, secret.size(), kMask);
    }
  }
  return text;
}

std::string LocalTimeNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// Opens the file for appending with the owner's rights only, also when an older file
// was wider open; none when it cannot be opened. The folder is made or tightened to the
// owner's alone; a link in the file's place is removed rather than followed, and nothing
// but a plain file is written to.
Platform::UniqueFd OpenLog(const std::string& path, std::uintmax_t& size) {
  const std::filesystem::path file(path);
  if (!file.has_parent_path()) {
    return {};  // the log's path is always a full one; a bare name has no folder to keep
  }
  const std::filesystem::path folder = file.parent_path();
  std::error_code ec;
  std::filesystem::create_directories(folder.parent_path(), ec);
  std::string why;
  const Platform::UniqueFd dir = xdg::OpenPrivateFolder(folder.string(), true, why);
  if (!dir) {
    return {};
  }
  const std::string name = file.filename().string();
  const int flags = O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  Platform::UniqueFd fd(::openat(dir.get(), name.c_str(), flags, 0600));
  if (!fd && errno == ELOOP && ::unlinkat(dir.get(), name.c_str(), 0) == 0) {
    fd.reset(::openat(dir.get(), name.c_str(), flags, 0600));
  }
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return {};
  }
  (void)::fchmod(fd.get(), 0600);
  size = static_cast<std::uintmax_t>(st.st_size);
  return fd;
}

// The last maxBytes of a plain file, from its first whole line on.
std::string ReadFileTail(const std::string& path, std::uintmax_t maxBytes) {
  const Platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return "";
  }
  const auto size = static_cast<std::uintmax_t>(st.st_size);
  const std::uintmax_t from = size > maxBytes ? size - maxBytes : 0;
  std::string text(static_cast<std::size_t>(size - from), '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n =
        ::pread(fd.get(), text.data() + got, text.size() - got, static_cast<off_t>(from + got));
    if (n <= 0) {
      break;  // the file shrank, or cannot be read further: what was read counts
    }
    got += static_cast<std::size_t>(n);
  }
  text.resize(got);
  if (from > 0) {
    const std::size_t end = text.find('\n');
    text.erase(0, end == std::string::npos ? text.size() : end + 1);
  }
  return text;
}

void AppendEntries(const std::string& text, std::vector<Entry>& entries) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    Entry entry;
    if (ParseLine(text.substr(start, end - start), entry)) {
      entries.push_back(std::move(entry));
    }
    start = end + 1;
  }
}

}  // namespace

std::vector<Entry> ReadTail(const std::string& path, std::uintmax_t maxBytes) {
  std::vector<Entry> entries;
  AppendEntries(ReadFileTail(path + ".1", maxBytes), entries);
  AppendEntries(ReadFileTail(path, maxBytes), entries);
  return entries;
}

std::string Entry::Line() const {
  return time + "\t" + item + "\t" + channel + "\t" + text;
}

bool ParseLine(const std::string& line, Entry& entry) {
  const std::size_t a = line.find('\t');
  const std::size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
  const std::size_t c = b == std::string::npos ? b : line.find('\t', b + 1);
  if (c == std::string::npos) {
    return false;
  }
  entry = {line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 1, c - b - 1),
           line.substr(c + 1)};
  return true;
}

std::vector<Entry> ReadRecent(const std::string& path, std::size_t maxLines) {
  // As much as the sink ever leaves in a file, and never a wait on a pipe in its place.
  std::vector<Entry> entries = ReadTail(path, LogSink::Options{}.maxBytes);
  if (entries.size() > maxLines) {
    entries.erase(entries.begin(), entries.end() - static_cast<std::ptrdiff_t>(maxLines));
  }
  return entries;
}

std::string DefaultLogPath() {
  return xdg::BaseFolder("XDG_STATE_HOME", ".local/state") + "/QSoft/delivery.log";
}

LogSink::LogSink(Options options)
    : path_(options.path.empty() ? DefaultLogPath() : options.path),
      options_(std::move(options)),
      writer_([this] { Run(); }) {}

LogSink::~LogSink() {
  Close();
}

void LogSink::Write(const std::string& item, const std::string& channel, const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  if (stop_) {
    return;
  }
  if (queue_.size() >= options_.maxQueued) {
    ++dropped_;
    return;
  }
  queue_.push_back(
      Masked(Entry{LocalTimeNow(), Clean(item), Clean(channel), Clean(text)}.Line(), secrets_));
  ++queued_;
  wake_.notify_one();
}

void LogSink::AddSecret(const std::string& secret) {
  if (!secret.empty()) {
    std::lock_guard<std::mutex> guard(lock_);
    secrets_.insert(secret);
  }
}

void LogSink::Flush() {
  std::unique_lock<std::mutex> guard(lock_);
  const std::uint64_t target = queued_;
  written_.wait_for(guard, std::chrono::seconds(1), [&] { return done_ >= target || stop_; });
}

void LogSink::Close() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
    wake_.notify_one();
  }
  if (writer_.joinable()) {
    writer_.join();
  }
}

void LogSink::Run() {
  Platform::UniqueFd fd;
  std::uintmax_t size = 0;
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    wake_.wait(guard, [this] { return stop_ || !queue_.empty() || dropped_ > 0; });
    std::deque<std::string> batch;
    batch.swap(queue_);
    if (dropped_ > 0) {
      batch.push_back(Entry{LocalTimeNow(), "", "log",
                            std::to_string(dropped_) + " lines dropped: too many at once"}
                          .Line());
      dropped_ = 0;
    }
    const bool last = stop_;
    guard.unlock();
    for (const std::string& line : batch) {
      Append(fd, size, line);
    }
    guard.lock();
    done_ += batch.size();
    written_.notify_all();
    if (last && queue_.empty()) {
      break;
    }
  }
}

void LogSink::Append(Platform::UniqueFd& fd, std::uintmax_t& size, const std::string& line) {
  const std::string text = line + "\n";
  if (fd && size > 0 && size + text.size() > options_.maxBytes) {
    // One older file is kept; the one before it goes.
    fd.reset();
    std::rename(path_.c_str(), (path_ + ".1").c_str());
  }
  if (!fd) {
    fd = OpenLog(path_, size);
    if (!fd) {
      return;  // a log that cannot be written loses the line, never the notification
    }
  }
  const ssize_t n = ::write(fd.get(), text.data(), text.size());
  if (n > 0) {
    size += static_cast<std::uintmax_t>(n);
  }
}

}  // namespace delivery
