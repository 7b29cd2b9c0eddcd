// Reading a small file whole, for files other programs or the user leave in a known
// place, and replacing a file so that a failed or interrupted save leaves the old one
// whole. Only a regular file is read or replaced: a FIFO would block the reader until
// some writer came, and a link to /dev/zero would never end.
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

// Replaces the file with the bytes: written to a temporary file in the same folder,
// flushed to disk, then renamed over the old one, and the folder flushed, so an
// interrupted or failed save leaves the previous file whole. The old file's permissions
// are kept. A symbolic link is kept: its target is replaced, with the temporary file
// beside the target. Something other than a regular file in the file's place is
// refused. Raises Platform::Exception saying why it failed; `what` names the contents
// there: "Cannot save <what> to <path>: <reason>".
void WriteFileAtomically(const std::string& path, const std::string& bytes,
                         const std::string& what);

// The path with every symbolic link of its last part followed (the target of a dangling
// link included). Raises Platform::Exception for a loop.
std::string ResolveLinks(const std::string& path);

// Removes the temporary files that a save killed part-way left beside the file: only
// names of the save's own pattern, and none of a process still running. The count removed.
int RemoveStaleTemporaries(const std::string& path);

}  // namespace Platform
