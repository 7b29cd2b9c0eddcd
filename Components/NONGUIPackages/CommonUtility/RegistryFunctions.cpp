// The registry functions: each call makes its own accessor, does one thing, and never lets
// a store error reach the caller (the binary reader excepted, which raises its own).

#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>

#include "CommonCodeLite.h"
#include "Exceptions.h"
#include "RegistryStore.h"

namespace VIDodadaZadoVove {

bool bForceNoRegistryFlush_m = false;

// Builds and reads the payloads the public constructors do not reach (currency, date-time,
// the byte).
struct VariantAccess {
  static Variant Integer(int type, std::int64_t value) {
    Variant v = Variant::OfType(type);
    v.int_ = value;
    return v;
  }
  static Variant Real(int type, double value) {
    Variant v = Variant::OfType(type);
    v.double_ = value;
    return v;
  }
  static Variant Text(const std::string& value) {
    Variant v = Variant::OfType(256);
    v.text_ = value;
    return v;
  }
  static std::int64_t IntegerOf(const Variant& v) { return v.int_; }
  static double RealOf(const Variant& v) { return v.double_; }
};

namespace {

using Platform::Hive;
using Platform::RegDataType;
using Platform::TRegistry;

constexpr char kCaption[] = "Problem Detected";
constexpr int kFontSize = 60;

std::mutex& HandlerMutex() {
  static std::mutex mutex;
  return mutex;
}

MessageBoxHandler& CurrentHandler() {
  static MessageBoxHandler handler;
  return handler;
}

// This platform keeps only the two hives the program uses; other roots hold nothing.
std::optional<Hive> HiveOf(HKEY root) {
  if (root == HKEY_CURRENT_USER) {
    return Hive::CurrentUser;
  }
  if (root == HKEY_LOCAL_MACHINE) {
    return Hive::LocalMachine;
  }
  return std::nullopt;
}

// The root the call works on, or nothing when it must return its empty result at once:
// an unknown root, or a computer name (there is no remote registry here).
std::optional<Hive> Target(HKEY root, const std::string& key, const std::string& computer) {
  if (key.empty() || !computer.empty()) {
    return std::nullopt;
  }
  return HiveOf(root);
}

// Runs the body of a registry function; a failure becomes a "Problem Detected" report and
// the function goes on to return what it had reached.
// True the first time a hive is named in this run: an unusable hive is reported once, not
// once for every value read or written.
bool FirstReportOf(const std::string& hivePath) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  std::lock_guard<std::mutex> lock(mutex);
  return reported.insert(hivePath).second;
}

template <typename Body>
void Reported(const char* function, const std::string& item, Body body) {
  std::string message;
  try {
    body();
    return;
  } catch (const Platform::EHiveUnusable& e) {
    if (!FirstReportOf(e.HivePath())) {
      return;
    }
    message = e.what();
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown exception";
  }
  try {
    ShowLibraryMessageBox(
        std::string("Internal Error in [") + function + "] for Item: " + item + " msg: " + message,
        kCaption);
  } catch (...) {
    // A failing report must not turn into a failing call.
  }
}

[[noreturn]] void RaiseInvalidType(const std::string& name) {
  throw Platform::ERegistryException(Platform::Format("Invalid data type for '%s'", name.c_str()));
}

void PutInt32(unsigned char* out, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<unsigned char>(bits >> (8 * i));
  }
}

std::int32_t GetInt32(const unsigned char* in) {
  std::uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) {
    bits |= static_cast<std::uint32_t>(in[i]) << (8 * i);
  }
  return static_cast<std::int32_t>(bits);
}

// The currency layout: a binary value of exactly eight bytes, a little-endian count of
// ten-thousandths.
std::int64_t ReadCurrency(TRegistry& reg, const std::string& name) {
  const int size = reg.GetDataSize(name);
  if (size < 0) {
    throw Platform::ERegistryException(
        Platform::Format("Failed to get data for '%s'", name.c_str()));
  }
  if (reg.GetDataType(name) != RegDataType::Binary || size != 8) {
    RaiseInvalidType(name);
  }
  unsigned char bytes[8];
  reg.ReadBinaryData(name, bytes, sizeof bytes);
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) {
    bits |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
  }
  return static_cast<std::int64_t>(bits);
}

void WriteCurrency(TRegistry& reg, const std::string& name, std::int64_t count) {
  unsigned char bytes[8];
  const auto bits = static_cast<std::uint64_t>(count);
  for (int i = 0; i < 8; ++i) {
    bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
  }
  reg.WriteBinaryData(name, bytes, sizeof bytes);
}

// Reads a value in the representation of a type code; null for codes without a reading.
Variant ReadTyped(TRegistry& reg, const std::string& name, int typeCode) {
  switch (typeCode) {
    case 2:
    case 3:
      return VariantAccess::Integer(3, reg.ReadInteger(name));
    case 4:
    case 5:
      return VariantAccess::Real(5, reg.ReadFloat(name));
    case 6:
      return VariantAccess::Integer(6, ReadCurrency(reg, name));
    case 7:
      return VariantAccess::Real(7, reg.ReadFloat(name));
    case 8:
    case 256:
      return VariantAccess::Text(reg.ReadString(name));
    case 11:
      return Variant(reg.ReadInteger(name) != 0);
    case 17: {
      // The byte is kept as plain REG_SZ text only.
      const RegDataType type = reg.GetDataType(name);
      if (type != RegDataType::None && type != RegDataType::String) {
        RaiseInvalidType(name);
      }
      return VariantAccess::Text(reg.ReadString(name));
    }
    default:
      return Variant();
  }
}

// Writes a value per its type code. True when the code counts as written (12 writes
// nothing and still counts); false for empty, null and codes without a representation.
bool WriteTyped(TRegistry& reg, const std::string& name, const Variant& data) {
  switch (data.Type()) {
    case 2:
    case 3:
      reg.WriteInteger(name, data.AsInt());
      return true;
    case 4:
    case 5:
    case 7:
      reg.WriteFloat(name, VariantAccess::RealOf(data));
      return true;
    case 6:
      WriteCurrency(reg, name, VariantAccess::IntegerOf(data));
      return true;
    case 8:
    case 256:
      reg.WriteString(name, data.AsString());
      return true;
    case 11:
      reg.WriteInteger(name, data.AsBool() ? 1 : 0);
      return true;
    case 12:
      return true;
    case 17:
      reg.WriteString(name, std::to_string(VariantAccess::IntegerOf(data) & 0xff));
      return true;
    default:
      return false;
  }
}

// Opens a key for a value reader: with preferUser, the user's copy when it has the value
// (or the default value is asked for), else the given root's.
bool OpenForReading(TRegistry& reg, Hive root, const std::string& key, const std::string& value,
                    bool preferUser) {
  if (preferUser && root != Hive::CurrentUser) {
    reg.SetRootKey(Hive::CurrentUser);
    if (reg.OpenKey(key, false) && (value.empty() || reg.ValueExists(value))) {
      return true;
    }
  }
  reg.SetRootKey(root);
  return reg.OpenKey(key, false);
}

// Opens a key for a list reader: with preferUser, the user's key whenever it exists, even
// empty.
bool OpenForListing(TRegistry& reg, Hive root, const std::string& key, bool preferUser) {
  if (preferUser && root != Hive::CurrentUser) {
    reg.SetRootKey(Hive::CurrentUser);
    if (reg.OpenKey(key, false)) {
      return true;
    }
  }
  reg.SetRootKey(root);
  return reg.OpenKey(key, false);
}

// The writers' loop: open (creating) under the root, write, flush, close; then the same
// under the machine hive when asked. A machine hive that cannot be opened or used is passed
// over; a user's hive that cannot be written is reported after the machine's turn, so the
// change is not lost without a word.
template <typename WriteValue>
void WriteUnderRoots(Hive root, const std::string& key, bool alsoMachine, bool& result,
                     WriteValue writeValue) {
  TRegistry reg;
  Hive current = root;
  std::optional<Platform::EHiveUnusable> unwritable;
  for (;;) {
    reg.SetRootKey(current);
    bool opened = false;
    try {
      opened = reg.OpenKey(key, true);
    } catch (const Platform::EHiveUnusable&) {
      if (current != Hive::LocalMachine) {
        throw;
      }
    }
    if (!opened && current == Hive::CurrentUser) {
      const std::string path = Platform::HiveFilePath(current);
      unwritable.emplace(path, "The settings cannot be saved: " +
                                   (path.empty() ? std::string("no home folder") : path) +
                                   " or its folder may not be written");
    }
    if (opened) {
      if (writeValue(reg)) {
        result = true;
      }
      if (!bForceNoRegistryFlush_m) {
        reg.FlushKey();
      }
    }
    reg.CloseKey();
    if (!alsoMachine || current == Hive::LocalMachine) {
      break;
    }
    current = Hive::LocalMachine;
  }
  if (unwritable) {
    throw *unwritable;
  }
}

// The deleters' loop: the root, then the machine hive when asked.
template <typename Delete>
void DeleteUnderRoots(Hive root, bool alsoMachine, Delete deleteIn) {
  TRegistry reg;
  Hive current = root;
  for (;;) {
    reg.SetRootKey(current);
    deleteIn(reg);
    reg.CloseKey();
    if (!alsoMachine || current == Hive::LocalMachine) {
      return;
    }
    current = Hive::LocalMachine;
  }
}

void EncodeFont(const LOGFONTA& font, unsigned char* out) {
  PutInt32(out, font.lfHeight);
  PutInt32(out + 4, font.lfWidth);
  PutInt32(out + 8, font.lfEscapement);
  PutInt32(out + 12, font.lfOrientation);
  PutInt32(out + 16, font.lfWeight);
  const std::uint8_t flags[8] = {font.lfItalic,  font.lfUnderline,     font.lfStrikeOut,
                                 font.lfCharSet, font.lfOutPrecision,  font.lfClipPrecision,
                                 font.lfQuality, font.lfPitchAndFamily};
  std::memcpy(out + 20, flags, sizeof flags);
  std::memcpy(out + 28, font.lfFaceName, sizeof font.lfFaceName);
}

std::unique_ptr<LOGFONTA> DecodeFont(const unsigned char* in) {
  auto font = std::make_unique<LOGFONTA>();
  font->lfHeight = GetInt32(in);
  font->lfWidth = GetInt32(in + 4);
  font->lfEscapement = GetInt32(in + 8);
  font->lfOrientation = GetInt32(in + 12);
  font->lfWeight = GetInt32(in + 16);
  font->lfItalic = in[20];
  font->lfUnderline = in[21];
  font->lfStrikeOut = in[22];
  font->lfCharSet = in[23];
  font->lfOutPrecision = in[24];
  font->lfClipPrecision = in[25];
  font->lfQuality = in[26];
  font->lfPitchAndFamily = in[27];
  std::memcpy(font->lfFaceName, in + 28, sizeof font->lfFaceName);
  return font;
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> lock(HandlerMutex());
  MessageBoxHandler previous = std::move(CurrentHandler());
  CurrentHandler() = std::move(handler);
  return previous;
}

void ShowLibraryMessageBox(const std::string& text, const std::string& caption) {
  MessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> lock(HandlerMutex());
    handler = CurrentHandler();
  }
  // Called outside the lock, so a handler may itself install another.
  if (handler) {
    handler(text, caption);
  } else {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
}

Variant ReadFromRegistry(HKEY root, std::string key, std::string value, int typeCode,
                         bool preferUser, std::string computer) {
  Variant result;
  const std::optional<Hive> hive = Target(root, key, computer);
  if (!hive) {
    return result;
  }
  Reported("ReadFromRegistry", value, [&] {
    TRegistry reg;
    if (!OpenForReading(reg, *hive, key, value, preferUser)) {
      return;
    }
    // The default value ("") is read without asking whether it exists.
    if (value.empty() || reg.ValueExists(value)) {
      result = ReadTyped(reg, value, typeCode);
    }
    reg.CloseKey();
  });
  return result;
}

bool WriteToRegistry(HKEY root, std::string key, std::string value, Variant data, bool alsoMachine,
                     std::string computer) {
  bool result = false;
  const std::optional<Hive> hive = Target(root, key, computer);
  if (!hive || value.empty()) {
    return result;
  }
  Reported("WriteToRegistry", value, [&] {
    WriteUnderRoots(*hive, key, alsoMachine, result,
                    [&](TRegistry& reg) { return WriteTyped(reg, value, data); });
  });
  return result;
}

std::unique_ptr<std::uint8_t[]> ReadBinaryFromRegistry(HKEY root, std::string key,
                                                       std::string value, int& size,
                                                       bool preferUser, std::string computer) {
  size = 0;
  std::unique_ptr<std::uint8_t[]> block;
  const std::optional<Hive> hive = Target(root, key, computer);
  if (!hive) {
    return block;
  }
  try {
    TRegistry reg;
    // First pass under the user's hive when preferUser; a second under the given root when
    // that finds neither key nor value. The same hive twice would find nothing new.
    const Hive first = preferUser ? Hive::CurrentUser : *hive;
    for (Hive pass : {first, *hive}) {
      reg.SetRootKey(pass);
      if (reg.OpenKey(key, false) && (value.empty() || reg.ValueExists(value))) {
        const int length = reg.GetDataSize(value);
        if (length >= 0) {  // an empty name with no default value has no size
          auto bytes = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(length));
          reg.ReadBinaryData(value, bytes.get(), length);
          size = length;
          block = std::move(bytes);
        }
        break;
      }
      if (pass == *hive) {
        break;
      }
    }
    reg.CloseKey();
  } catch (const std::exception& e) {
    size = 0;
    throw Platform::Exception(std::string("Internal Error in [ReadBinaryFromRegistry()] msg: ") +
                              e.what());
  }
  return block;
}

bool WriteFontToRegistry(HKEY root, std::string key, std::string value, const LOGFONTA* font,
                         bool alsoMachine, std::string computer) {
  bool result = false;
  const std::optional<Hive> hive = Target(root, key, computer);
  if (!hive || value.empty() || font == nullptr) {
    return result;
  }
  unsigned char bytes[kFontSize];
  EncodeFont(*font, bytes);
  Reported("WriteFontToRegistry", value, [&] {
    WriteUnderRoots(*hive, key, alsoMachine, result, [&](TRegistry& reg) {
      reg.WriteBinaryData(value, bytes, kFontSize);
      return true;
    });
  });
  return result;
}

std::unique_ptr<LOGFONTA> ReadFontFromRegistry(HKEY root, std::string key, std::string value,
                                               bool preferUser, std::string computer) {
  std::unique_ptr<LOGFONTA> result;
  const std::optional<Hive> hive = Target(root, key, computer);
  if (!hive) {
    return result;
  }
  Reported("ReadFontFromRegistry", value, [&] {
    TRegistry reg;
    if (!OpenForReading(reg, *hive, key, value, preferUser)) {
      return;
    }
    if (value.empty() || reg.ValueExists(value)) {
      // A shorter value fills the front of the record; the rest stays zero.
      unsigned char bytes[kFontSize] = {};
      reg.ReadBinaryData(value, bytes, kFontSize);
      result = DecodeFont(bytes);
    }
    reg.CloseKey();
  });
  return result;
}

std::vector<std::string> ReadKeysFromRegistry(HKEY root, std::string key, bool preferUser,
                                              std::string computer) {
  std::vector<std::string> names;
  const std::optional<Hive> hive = Target(root, key, computer);
  if (!hive) {
    return names;
  }
  Reported("ReadKeysFromRegistry", key, [&] {
    TRegistry reg;
    if (OpenForListing(reg, *hive, key, preferUser)) {
      names = reg.GetKeyNames();
    }
    reg.CloseKey();
  });
  return names;
}

std::vector<std::string> ReadKeyValueNamesFromRegistry(HKEY root, std::string key, bool preferUser,
                                                       std::string computer) {
  std::vector<std::string> names;
  const std::optional<Hive> hive = Target(root, key, computer);
  if (!hive) {
    return names;
  }
  Reported("ReadKeyValueNamesFromRegistry", key, [&] {
    TRegistry reg;
    if (OpenForListing(reg, *hive, key, preferUser)) {
      names = reg.GetValueNames();
    }
    reg.CloseKey();
  });
  return names;
}

void DeleteKeyFromRegistry(HKEY root, std::string key, bool alsoMachine, std::string computer) {
  const std::optional<Hive> hive = Target(root, key, computer);
  if (!hive) {
    return;
  }
  Reported("DeleteKeyFromRegistry", key, [&] {
    DeleteUnderRoots(*hive, alsoMachine, [&](TRegistry& reg) { reg.DeleteKey(key); });
  });
}

void DeleteFromRegistry(HKEY root, std::string key, std::string value, bool alsoMachine,
                        std::string computer) {
  const std::optional<Hive> hive = Target(root, key, computer);
  if (!hive) {
    return;
  }
  Reported("DeleteFromRegistry", value, [&] {
    DeleteUnderRoots(*hive, alsoMachine, [&](TRegistry& reg) {
      if (reg.OpenKey(key, false) && (value.empty() || reg.ValueExists(value))) {
        reg.DeleteValue(value);
      }
    });
  });
}

}  // namespace VIDodadaZadoVove
