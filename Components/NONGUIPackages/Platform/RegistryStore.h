// The settings store: a registry of keys and typed values kept in one SQLite
// file per hive. TRegistry is the accessor the registry functions create for
// each call: set a root, open one key, read or write its values, close.
//
// Files: the current user's hive is $QS_REGISTRY_DIR/user.db, else
// ${XDG_CONFIG_HOME:-$HOME/.config}/QSoft/registry.db; the machine hive is
// $QS_REGISTRY_DIR/machine.db, else /var/lib/QSoft/registry.db. Both are created
// with mode 0600, since settings hold passwords.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Exceptions.h"

namespace Platform {

enum class Hive { CurrentUser, LocalMachine };

// Stored value types, numbered as the Windows registry numbers them.
enum class RegDataType : int { None = 0, String = 1, ExpandString = 2, Binary = 3, DWord = 4 };

// A failure of the store while a key is open, with the registry's own texts:
// "Invalid data type for '%s'", "Failed to get data for '%s'", "Failed to set data for '%s'".
// A damaged or unreadable hive file raises it too, with SQLite's description.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

// A hive that cannot be used at all: a damaged or foreign file (left exactly as it is),
// or one that may not be written. Callers report it once per hive and run, not per value.
class EHiveUnusable : public ERegistryException {
 public:
  EHiveUnusable(std::string hivePath, const std::string& message)
      : ERegistryException(message), hivePath_(std::move(hivePath)) {}
  const std::string& HivePath() const { return hivePath_; }

 private:
  std::string hivePath_;
};

// The deepest a key may lie below its hive root, as in the Windows registry.
inline constexpr std::size_t kMaxKeyDepth = 512;

// The file that holds a hive, from the environment as described above.
std::string HiveFilePath(Hive hive);

class TRegistry {
 public:
  TRegistry();   // root: the current user's hive
  ~TRegistry();  // closes the key; an unflushed open transaction is committed
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  void SetRootKey(Hive hive);
  Hive RootKey() const { return root_; }

  // Opens a key by its backslash-separated path below the root. With create, missing
  // keys on the path are made. False when the key does not exist (without create), or
  // when the hive cannot be opened or written (missing rights, no folder); raises
  // EHiveUnusable when the hive file is damaged or not a settings file. Creating a key
  // deeper than kMaxKeyDepth, or one whose name holds a NUL byte, raises; such a name
  // is never found.
  bool OpenKey(const std::string& path, bool create);
  void CloseKey();
  bool HasCurrentKey() const;

  // Values of the open key. Names compare without regard to ASCII case; "" is the
  // key's default value. A value name holding a NUL byte is never found, and writing
  // one raises.
  bool ValueExists(const std::string& name);
  // Size in bytes of the stored data (texts count their terminating zero, as the
  // registry does), -1 when the value does not exist.
  int GetDataSize(const std::string& name);
  RegDataType GetDataType(const std::string& name);

  std::int32_t ReadInteger(const std::string& name);
  std::string ReadString(const std::string& name);  // "" for an absent value
  // Copies at most bufSize bytes of a binary value into buffer and returns the
  // value's size; 0 for an absent value. A value larger than bufSize raises.
  int ReadBinaryData(const std::string& name, void* buffer, int bufSize);
  double ReadFloat(const std::string& name);  // 8-byte binary double

  void WriteInteger(const std::string& name, std::int32_t value);
  void WriteString(const std::string& name, const std::string& value);
  void WriteExpandString(const std::string& name, const std::string& value);
  void WriteBinaryData(const std::string& name, const void* buffer, int size);
  void WriteFloat(const std::string& name, double value);

  // Names of the open key's sub-keys and values, in case-insensitive alphabetical order.
  std::vector<std::string> GetKeyNames();
  std::vector<std::string> GetValueNames();

  bool DeleteValue(const std::string& name);
  // Removes a key below the root (path as for OpenKey) with everything under it, however
  // deep that goes.
  bool DeleteKey(const std::string& path);
  bool KeyExists(const std::string& path);

  // Makes every change written so far through this accessor durable on disk
  // (a committed transaction with synchronous = FULL). Does nothing inside an update.
  void FlushKey();

  // An update groups every change made through this accessor, in any number of keys,
  // into one transaction: closing or opening keys does not end it, nothing of it is
  // seen by others before CommitUpdate, and RollbackUpdate, an error of the store or
  // the accessor's end before the commit discards all of it. The root may not change
  // meanwhile. BeginUpdate is false when the hive cannot be written.
  bool BeginUpdate();
  // Commits and makes the update durable, as FlushKey does; raises when it could not,
  // or when an error of the store had already discarded it. Until either call, an
  // accessor whose update was discarded so refuses to open or delete keys.
  void CommitUpdate();
  void RollbackUpdate();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  Hive root_ = Hive::CurrentUser;
};

}  // namespace Platform
