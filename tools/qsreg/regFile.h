// The text files the Windows registry editor reads and writes ("Windows Registry Editor
// Version 5.00" in UTF-16LE, "REGEDIT4" in the ANSI code page), as a list of keys with
// their values. Pure text work: nothing here touches the settings store.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "RegistryStore.h"

namespace regfile {

enum class Root { CurrentUser, LocalMachine, Other };

struct Value {
  std::string name;     // "" is the key's default value ("@")
  bool remove = false;  // "name"=- deletes the value
  Platform::RegDataType type = Platform::RegDataType::String;
  std::string data;          // the text (UTF-8) of String and ExpandString, the bytes of Binary
  std::uint32_t number = 0;  // DWord
  int line = 0;
};

struct Key {
  Root root = Root::CurrentUser;
  std::string rootName;  // as written, e.g. "HKEY_CURRENT_USER"
  std::string path;      // below the root, parts separated by backslashes; "" is the root
  bool remove = false;   // "[-...]" deletes the key with everything below it
  int line = 0;
  std::vector<Value> values;
};

// A line the reader cannot take; line counts from 1.
class ParseError : public std::runtime_error {
 public:
  ParseError(int line, const std::string& what)
      : std::runtime_error("line " + std::to_string(line) + ": " + what), line_(line) {}
  int Line() const { return line_; }

 private:
  int line_;
};

// The root of a full key name ("HKEY_CURRENT_USER\Software\QSoft", also "HKCU\..."): its
// kind, the root's name and the path below it. A name without a root backslash is a root
// alone.
Root SplitRoot(const std::string& fullName, std::string& rootName, std::string& path);

// Reads a whole file, given as its raw bytes. Raises ParseError at the first malformed line.
std::vector<Key> Parse(std::string_view file);

// The file the registry editor would write for these keys: version 5.00, UTF-16LE with a
// byte-order mark, CRLF line ends. Removals are written as removals. Raises
// std::invalid_argument for a name the format cannot carry (a line break in it).
std::string Write(const std::vector<Key>& keys);

// Text conversions used by both directions; invalid sequences become U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);
std::string Utf8ToUtf16Le(std::string_view text);
std::string Cp1252ToUtf8(std::string_view bytes);
bool IsUtf8(std::string_view bytes);

}  // namespace regfile
