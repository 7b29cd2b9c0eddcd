// Registry editor files into and out of the settings store.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "RegistryStore.h"
#include "regFile.h"

namespace regfile {

struct ImportResult {
  int keysWritten = 0;
  int valuesWritten = 0;
  int keysDeleted = 0;
  int valuesDeleted = 0;
  // One line for each key of a root the store does not keep, with its line number.
  std::vector<std::string> skipped;
};

// The one failure after which part of a file is in the store: the machine hive was
// committed and the user's hive then failed to commit. The message says what was written.
class PartialImport : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes the keys of one file: HKEY_CURRENT_USER into the user's hive, HKEY_LOCAL_MACHINE
// into the machine hive, all of both in one transaction each, committed only once every
// key is written, the machine's first: a failure leaves the store as it was. Keys of
// other roots are skipped and listed. Raises std::runtime_error when a hive cannot be
// written, ERegistryException when the store fails (a key too deep, a name holding a NUL
// byte), PartialImport when only the user's commit failed.
ImportResult Import(const std::vector<Key>& keys);

// "2 keys and 3 values; deleted 1 key and 0 values": what an import wrote.
std::string Written(const ImportResult& result);

// KEY with everything below it, named under rootName in the file; nothing when the key
// does not exist.
std::optional<std::vector<Key>> Export(Platform::Hive hive, const std::string& rootName,
                                       const std::string& path);

}  // namespace regfile
