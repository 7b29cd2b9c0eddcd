#include "events/eventsFile.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>

#include "CommonCodeLite.h"
#include "Exceptions.h"

namespace events_file {

namespace {

// FieldLines keeps its positions in 32 bits.
constexpr std::size_t kMaxFieldBytes = std::numeric_limits<std::uint32_t>::max();
constexpr char kTooLargeText[] = "The events file is 4 GiB or more and is not read";

// A read's bytes; false when the file does not exist. Raises with the read's message
// when it exists and was not read.
bool TakeBytes(Platform::FileRead read, std::string& bytes) {
  if (read.status == Platform::FileReadStatus::Missing) {
    return false;
  }
  if (!read.Ok()) {
    throw Platform::Exception(read.message);
  }
  bytes = std::move(read.bytes);
  return true;
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
  return TakeBytes(Platform::ReadRegularFile(path, SIZE_MAX), bytes);
}

bool ReadFields(const std::string& path, FieldLines& lines) {
  // The bound refuses a file too large to cut before it is read into memory.
  Platform::FileRead read = Platform::ReadRegularFile(path, kMaxFieldBytes);
  if (read.status == Platform::FileReadStatus::TooLarge) {
    throw Platform::Exception(kTooLargeText);
  }
  std::string bytes;
  if (!TakeBytes(std::move(read), bytes)) {
    return false;
  }
  lines = FieldLines(std::move(bytes));
  return true;
}

FieldLines::FieldLines(std::string bytes)
    : bytes_(std::make_unique<const std::string>(std::move(bytes))) {
  const std::string_view all(*bytes_);
  if (all.size() > kMaxFieldBytes) {
    throw Platform::Exception(kTooLargeText);
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
  Platform::WriteFileAtomically(path, bytes, "the events");
}

}  // namespace events_file
