// qsreg: looks into and edits the settings store from the command line, the registry
// editor this platform lacks.

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "RegistryStore.h"
#include "RegularFile.h"
#include "regFile.h"
#include "regTransfer.h"

namespace {

using Platform::Hive;
using Platform::RegDataType;
using Platform::TRegistry;

enum ExitCode { kDone = 0, kNotFound = 1, kUsage = 2, kStoreError = 3, kFileError = 4 };

// Larger files are not registry exports of settings; refusing them keeps memory bounded.
constexpr std::size_t kMaxImportSize = 8 * 1024 * 1024;

const char kHelp[] =
    R"(Usage: qsreg [--machine] COMMAND ARGUMENTS...

Reads and changes the settings store of Vazudovu.

Commands:
  list KEY                       list the sub-keys (ending in \) and the values of KEY
  get KEY NAME                   print the data of one value ("" is the key's default value)
  set KEY NAME --string TEXT     store a text value (REG_SZ)
  set KEY NAME --dword NUMBER    store a 32-bit integer (REG_DWORD): decimal from
                                 -2147483648 to 4294967295, or hexadecimal as 0x...
  set KEY NAME --binary HEX      store a binary value (REG_BINARY) given as pairs of hex
                                 digits, e.g. 0a1bff ("" for an empty value)
  delete KEY NAME                delete one value
  delete-key KEY                 delete KEY with all its sub-keys and values
  import FILE                    write the keys and values of a registry editor file
                                 (.reg, "Windows Registry Editor Version 5.00" or
                                 "REGEDIT4"): HKEY_CURRENT_USER keys into the current
                                 user's hive, HKEY_LOCAL_MACHINE keys into the machine
                                 hive; other roots are skipped. All or nothing: a
                                 malformed line stops it with its line number and
                                 nothing of the file is written. FILE must be a
                                 regular file of at most 8 MiB.
  export KEY FILE                write KEY with everything below it to FILE in the
                                 registry editor's format (version 5.00, UTF-16)

Options:
  --machine   work on the local-machine hive (default: the current user's)
  --help      show this help and exit

KEY is a path below the hive root with backslashes between its parts, at most 512
levels deep; names are matched without regard to letter case and may not hold a NUL
byte. The current user's hive is the file
$QS_REGISTRY_DIR/user.db, or ${XDG_CONFIG_HOME:-$HOME/.config}/QSoft/registry.db;
the machine hive is $QS_REGISTRY_DIR/machine.db, or /var/lib/QSoft/registry.db.

For export, KEY may start with HKEY_CURRENT_USER\ or HKEY_LOCAL_MACHINE\ to choose
the hive.

list prints one line per value: name, type and data separated by tabs; a REG_DWORD
shows as a signed decimal number, a REG_BINARY as hex digits.

Examples:
  qsreg list 'Software\QSoft\QSRedorodo'
  qsreg get 'Software\QSoft\QSRedorodo' MSMHost
  qsreg set 'Software\QSoft\QSRedorodo' EnableSounds --dword 1
  qsreg set 'Software\QSoft\QSRedorodo' MSMHost --string messenger.hotmail.com
  qsreg --machine delete-key 'Software\QSoft\QSRedorodo'
  qsreg import QSoft.reg
  qsreg export 'HKEY_CURRENT_USER\Software\QSoft' QSoft.reg

Exit status: 0 done, 1 key or value not found, 2 bad usage, 3 the store could not be
read or written, 4 the file could not be read or written or is malformed.
)";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "qsreg: %s\nTry 'qsreg --help' for more information.\n", problem.c_str());
  return kUsage;
}

int NotFound(const std::string& what) {
  std::fprintf(stderr, "qsreg: %s\n", what.c_str());
  return kNotFound;
}

const char* TypeName(RegDataType type) {
  switch (type) {
    case RegDataType::String:
      return "REG_SZ";
    case RegDataType::ExpandString:
      return "REG_EXPAND_SZ";
    case RegDataType::Binary:
      return "REG_BINARY";
    case RegDataType::DWord:
      return "REG_DWORD";
    default:
      return "REG_UNKNOWN";
  }
}

std::string Hex(const std::vector<unsigned char>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 0xf];
  }
  return text;
}

bool ParseHex(const std::string& text, std::vector<unsigned char>& bytes) {
  if (text.size() % 2 != 0) {
    return false;
  }
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
    if (ec != std::errc() || ptr != text.data() + i + 2) {
      return false;
    }
    bytes.push_back(static_cast<unsigned char>(value));
  }
  return true;
}

// Decimal -2147483648..4294967295 or 0x followed by up to eight hex digits.
bool ParseDword(const std::string& text, std::int32_t& result) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* first = text.data() + (hex ? 2 : 0);
  const char* last = text.data() + text.size();
  std::int64_t value = 0;
  const auto [ptr, ec] = std::from_chars(first, last, value, hex ? 16 : 10);
  if (ec != std::errc() || ptr != last || first == last || (hex && value < 0) ||
      value < -2147483648LL || value > 4294967295LL) {
    return false;
  }
  result = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  return true;
}

// The data of a value as text, by its stored type.
std::string DataText(TRegistry& reg, const std::string& name) {
  const RegDataType type = reg.GetDataType(name);
  if (type == RegDataType::String || type == RegDataType::ExpandString) {
    return reg.ReadString(name);
  }
  if (type == RegDataType::DWord) {
    return std::to_string(reg.ReadInteger(name));
  }
  std::vector<unsigned char> bytes(static_cast<std::size_t>(std::max(reg.GetDataSize(name), 0)));
  reg.ReadBinaryData(name, bytes.data(), static_cast<int>(bytes.size()));
  return Hex(bytes);
}

int List(TRegistry& reg, const std::string& key) {
  if (!reg.OpenKey(key, false)) {
    return NotFound("no key '" + key + "'");
  }
  for (const auto& sub : reg.GetKeyNames()) {
    std::printf("%s\\\n", sub.c_str());
  }
  for (const auto& name : reg.GetValueNames()) {
    std::printf("%s\t%s\t%s\n", name.c_str(), TypeName(reg.GetDataType(name)),
                DataText(reg, name).c_str());
  }
  return kDone;
}

int Get(TRegistry& reg, const std::string& key, const std::string& name) {
  if (!reg.OpenKey(key, false)) {
    return NotFound("no key '" + key + "'");
  }
  if (!reg.ValueExists(name)) {
    return NotFound("no value '" + name + "' in '" + key + "'");
  }
  std::printf("%s\n", DataText(reg, name).c_str());
  return kDone;
}

int Set(TRegistry& reg, const std::string& key, const std::string& name, const std::string& kind,
        const std::string& data) {
  std::int32_t number = 0;
  std::vector<unsigned char> bytes;
  if (kind == "--dword" && !ParseDword(data, number)) {
    return Usage("'" + data + "' is not a 32-bit number");
  }
  if (kind == "--binary" && !ParseHex(data, bytes)) {
    return Usage("'" + data + "' is not pairs of hex digits");
  }
  if (kind != "--string" && kind != "--dword" && kind != "--binary") {
    return Usage("set needs --string, --dword or --binary, not '" + kind + "'");
  }
  if (!reg.OpenKey(key, true)) {
    std::fprintf(stderr, "qsreg: cannot write to %s\n",
                 Platform::HiveFilePath(reg.RootKey()).c_str());
    return kStoreError;
  }
  if (kind == "--string") {
    reg.WriteString(name, data);
  } else if (kind == "--dword") {
    reg.WriteInteger(name, number);
  } else {
    reg.WriteBinaryData(name, bytes.data(), static_cast<int>(bytes.size()));
  }
  reg.FlushKey();
  reg.CloseKey();
  return kDone;
}

int DeleteValue(TRegistry& reg, const std::string& key, const std::string& name) {
  if (!reg.OpenKey(key, false)) {
    return NotFound("no key '" + key + "'");
  }
  if (!reg.ValueExists(name)) {
    return NotFound("no value '" + name + "' in '" + key + "'");
  }
  if (!reg.DeleteValue(name)) {
    std::fprintf(stderr, "qsreg: cannot delete '%s'\n", name.c_str());
    return kStoreError;
  }
  reg.FlushKey();
  reg.CloseKey();
  return kDone;
}

int DeleteKey(TRegistry& reg, const std::string& key) {
  if (!reg.KeyExists(key)) {
    return NotFound("no key '" + key + "'");
  }
  if (!reg.DeleteKey(key)) {
    std::fprintf(stderr, "qsreg: cannot delete '%s'\n", key.c_str());
    return kStoreError;
  }
  return kDone;
}

int Import(const std::string& file) {
  // Only a regular file: a FIFO would wait here for a writer, /dev/zero never end.
  const Platform::FileRead read = Platform::ReadRegularFile(file, kMaxImportSize);
  if (!read.Ok()) {
    std::fprintf(stderr, "qsreg: %s\n", read.message.c_str());
    return kFileError;
  }
  std::vector<regfile::Key> keys;
  try {
    keys = regfile::Parse(read.bytes);
  } catch (const regfile::ParseError& e) {
    std::fprintf(stderr, "qsreg: %s: %s; nothing was imported\n", file.c_str(), e.what());
    return kFileError;
  }
  regfile::ImportResult result;
  try {
    result = regfile::Import(keys);
  } catch (const regfile::PartialImport& e) {
    std::fprintf(stderr, "qsreg: %s: %s\n", file.c_str(), e.what());
    return kStoreError;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qsreg: %s: %s; nothing was imported\n", file.c_str(), e.what());
    return kStoreError;
  }
  for (const std::string& line : result.skipped) {
    std::fprintf(stderr, "qsreg: %s: %s\n", file.c_str(), line.c_str());
  }
  std::printf("%s: wrote %s\n", file.c_str(), regfile::Written(result).c_str());
  return kDone;
}

int Export(Hive hive, const std::string& key, const std::string& file) {
  std::string rootName;
  std::string path;
  const regfile::Root root = regfile::SplitRoot(key, rootName, path);
  if (root == regfile::Root::Other) {
    path = key;
  } else {
    hive = root == regfile::Root::CurrentUser ? Hive::CurrentUser : Hive::LocalMachine;
  }
  // The full root names, which every registry editor reads.
  rootName = hive == Hive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
  const auto keys = regfile::Export(hive, rootName, path);
  if (!keys) {
    return NotFound("no key '" + key + "'");
  }
  std::string text;
  try {
    text = regfile::Write(*keys);
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "qsreg: %s\n", e.what());
    return kFileError;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "qsreg: cannot write %s\n", file.c_str());
    return kFileError;
  }
  return kDone;
}

int Run(const std::vector<std::string>& args) {
  Hive hive = Hive::CurrentUser;
  std::size_t at = 0;
  for (; at < args.size() && args[at].rfind("--", 0) == 0; ++at) {
    if (args[at] == "--help") {
      std::fputs(kHelp, stdout);
      return kDone;
    }
    if (args[at] != "--machine") {
      return Usage("unknown option '" + args[at] + "'");
    }
    hive = Hive::LocalMachine;
  }
  if (at == args.size()) {
    return Usage("no command given");
  }
  const std::string command = args[at];
  const std::vector<std::string> rest(args.begin() + static_cast<long>(at) + 1, args.end());
  struct Shape {
    const char* name;
    std::size_t count;
    const char* form;
  };
  static const Shape shapes[] = {{"list", 1, "list KEY"},
                                 {"get", 2, "get KEY NAME"},
                                 {"set", 4, "set KEY NAME --string|--dword|--binary DATA"},
                                 {"delete", 2, "delete KEY NAME"},
                                 {"delete-key", 1, "delete-key KEY"},
                                 {"import", 1, "import FILE"},
                                 {"export", 2, "export KEY FILE"}};
  const Shape* shape = nullptr;
  for (const auto& s : shapes) {
    if (command == s.name) {
      shape = &s;
    }
  }
  if (shape == nullptr) {
    return Usage("unknown command '" + command + "'");
  }
  if (rest.size() != shape->count) {
    return Usage(std::string("usage: qsreg [--machine] ") + shape->form);
  }
  if (command == "delete-key" && rest[0].find_first_not_of('\\') == std::string::npos) {
    return Usage("the hive root itself cannot be deleted");
  }

  if (command == "import") {
    return Import(rest[0]);
  }
  if (command == "export") {
    return Export(hive, rest[0], rest[1]);
  }
  TRegistry reg;
  reg.SetRootKey(hive);
  if (command == "list") {
    return List(reg, rest[0]);
  }
  if (command == "get") {
    return Get(reg, rest[0], rest[1]);
  }
  if (command == "set") {
    return Set(reg, rest[0], rest[1], rest[2], rest[3]);
  }
  if (command == "delete") {
    return DeleteValue(reg, rest[0], rest[1]);
  }
  return DeleteKey(reg, rest[0]);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qsreg: %s\n", e.what());
    return kStoreError;
  }
}
