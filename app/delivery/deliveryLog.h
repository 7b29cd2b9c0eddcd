// The delivery log: what became of every notification, one line per step, in a file of
// the program's own. Any thread hands a line to the sink and goes on at once; one writer
// thread of the sink appends the queued lines to the file, so neither a worker nor the
// window ever waits for the disk, and closing the sink cannot hang on a worker.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "UniqueFd.h"

namespace delivery {

// One line of the log: the local time, the item ID, the channel and the text. In the file
// the four fields are separated by tabs, which no field holds.
struct Entry {
  std::string time;  // "yyyy-mm-dd hh:nn:ss"
  std::string item;
  std::string channel;
  std::string text;
  std::string Line() const;
};

// The line's fields, or nothing for a line that is not one of the log's.
bool ParseLine(const std::string& line, Entry& entry);

// The last maxLines lines of the log at path and of the older file beside it, oldest first,
// as ReadTail reads them with the sink's own bound on a file.
std::vector<Entry> ReadRecent(const std::string& path, std::size_t maxLines);

// The log at path and the older file beside it, oldest first, reading no more than the
// last maxBytes of each. Only plain files are read, and without waiting: a pipe or a
// device in the log's place reads as empty.
std::vector<Entry> ReadTail(const std::string& path, std::uintmax_t maxBytes);

// $XDG_STATE_HOME/QSoft/delivery.log, by default under ~/.local/state.
std::string DefaultLogPath();

class LogSink {
 public:
  struct Options {
    std::string path;                   // empty: DefaultLogPath()
    std::uintmax_t maxBytes = 1 << 20;  // beyond this the file becomes "<path>.1"
    std::size_t maxQueued = 10000;      // lines waiting for the writer; more are counted, not kept
  };
  explicit LogSink(Options options);
  ~LogSink();
  LogSink(const LogSink&) = delete;
  LogSink& operator=(const LogSink&) = delete;

  // Queues a line stamped with the local time now. Control characters in the fields
  // become blanks and every known secret becomes "********". Never blocks on the file;
  // after Close it does nothing.
  void Write(const std::string& item, const std::string& channel, const std::string& text);
  // A text that must never reach the file (a password); empty texts are ignored.
  void AddSecret(const std::string& secret);
  // Waits, at most about a second, until every line queued so far is in the file.
  void Flush();
  // Writes what is queued and ends the writer; later lines are dropped.
  void Close();
  const std::string& Path() const { return path_; }

 private:
  void Run();
  void Append(Platform::UniqueFd& fd, std::uintmax_t& size, const std::string& line);

  const std::string path_;
  const Options options_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable written_;
  std::deque<std::string> queue_;
  std::set<std::string> secrets_;
  std::uint64_t queued_ = 0;   // lines ever queued
  std::uint64_t done_ = 0;     // lines ever handled by the writer
  std::uint64_t dropped_ = 0;  // not yet reported
  bool stop_ = false;
  std::thread writer_;
};

}  // namespace delivery
