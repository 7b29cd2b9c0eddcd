// The events file: one line per item, per column the cell text and the cell's
// integer, each followed by "|", lines ended by CR LF. This unit holds the file's
// text rules and its safe replacement; the window walks the grid with them.
#pragma once

#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "RegularFile.h"

namespace events_file {

inline constexpr const char* kFileName = "QSEvents.C-D";

// "QSEvents.C-D" in the folder of the running executable.
std::string DefaultPath();

// Appends one column's fields: the text, "|", the integer in decimal, "|".
void AppendField(std::string& line, const std::string& text, std::intptr_t object);

// The lines of a file's bytes: CR LF, LF and CR all end a line; a last line without a
// line end still counts; a line end at the very end adds no empty line. Bytes are kept
// as they are, valid UTF-8 or not.
std::vector<std::string> SplitLines(const std::string& bytes);

// Every line followed by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

// An integer field as the file stores it; anything that is not an integer reads as 0.
std::intptr_t ObjectFromField(std::string_view field);

// Reads the whole file; false when it does not exist. Raises Platform::Exception
// with Platform::ReadRegularFile's message when it exists but cannot be read, or is not
// a regular file (a FIFO, device, socket or folder; a symbolic link counts as what it
// points to).
bool ReadFile(const std::string& path, std::string& bytes);

// A file's lines, each cut into its fields at every "|", as SplitLines and then
// GetDelimitedValues cut them. The fields are positions in the file's bytes, which this
// holds: a file of any number of items is made and dropped with a few allocations, and
// its fields take four bytes each. Files of 4 GiB or more are refused.
class FieldLines {
 public:
  // One line's fields, valid as long as the lines they come from.
  class Fields {
   public:
    std::size_t size() const { return count_; }
    std::string_view operator[](std::size_t k) const {
      const std::size_t begin = k == 0 ? start_ : ends_[k - 1] + 1;  // after the "|"
      return {bytes_ + begin, ends_[k] - begin};
    }

   private:
    friend class FieldLines;
    Fields(const char* bytes, std::size_t start, const std::uint32_t* ends, std::size_t count)
        : bytes_(bytes), start_(start), ends_(ends), count_(count) {}
    const char* bytes_;
    std::size_t start_;
    const std::uint32_t* ends_;
    std::size_t count_;
  };

  FieldLines() = default;
  // Raises Platform::Exception for 4 GiB or more.
  explicit FieldLines(std::string bytes);

  std::size_t size() const { return lineStarts_.size(); }
  Fields operator[](std::size_t line) const {
    const std::size_t first = line == 0 ? 0 : lineEnds_[line - 1];
    return {bytes_->data(), lineStarts_[line], fieldEnds_.data() + first, lineEnds_[line] - first};
  }

 private:
  std::unique_ptr<const std::string> bytes_;  // where it is stays put when this moves
  std::vector<std::uint32_t> fieldEnds_;      // where each field ends in the bytes
  std::vector<std::uint32_t> lineStarts_;     // where each line starts
  std::vector<std::uint32_t> lineEnds_;       // one past each line's last field in fieldEnds_
};

// Reads the file and cuts its lines into fields; false when it does not exist. Raises
// as ReadFile does.
bool ReadFields(const std::string& path, FieldLines& lines);

// The start-up's read of the events file, done on a thread of its own from the moment
// this is made, so that the load at the end of the start finds the lines already cut.
class ReadAhead {
 public:
  explicit ReadAhead(const std::string& path);
  // The lines read ahead (once); false when the file did not exist. Raises what the read
  // raised.
  bool Take(FieldLines& lines);

 private:
  std::future<std::pair<bool, FieldLines>> read_;
};

// Replaces the file as Platform::WriteFileAtomically does; a failure raises
// Platform::Exception "Cannot save the events to <path>: <reason>".
void WriteFileAtomically(const std::string& path, const std::string& bytes);

// The start-up clears what a save killed part-way left beside the file.
using Platform::RemoveStaleTemporaries;
using Platform::ResolveLinks;

}  // namespace events_file
