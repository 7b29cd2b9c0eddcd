// Reading a small file whole, for files other programs or the user leave in a known
// place. Only a regular file is read, and only up to a bound: a FIFO would block the
// reader until some writer came, and a link to /dev/zero would never end.
#pragma once

#include <cstddef>
#include <string>

namespace Platform {

enum class FileReadStatus { Read, Missing, NotRegular, TooLarge, Failed };

struct FileRead {
  FileReadStatus status = FileReadStatus::Failed;
  std::string bytes;    // the whole file when Read
  std::string message;  // why not, naming the file, when not Read
  bool Ok() const { return status == FileReadStatus::Read; }
};

// Opens without blocking and without passing the descriptor to children, checks that
// the opened file is a regular one of at most maxSize bytes, and reads at most
// maxSize + 1 bytes, so a file growing meanwhile is refused too. Never raises.
FileRead ReadRegularFile(const std::string& path, std::size_t maxSize);

// "1 MiB", "8 KiB", "100 bytes": a bound as the messages show it.
std::string SizeText(std::size_t bytes);

}  // namespace Platform
