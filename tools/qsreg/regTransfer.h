// Registry editor files into and out of the settings store.
#pragma once

#include <optional>
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

// Writes the keys of one file: HKEY_CURRENT_USER into the user's hive, HKEY_LOCAL_MACHINE
// into the machine hive, each hive in one transaction, so that a failure leaves the store
// as it was. Keys of other roots are skipped and listed. Raises std::runtime_error when a
// hive cannot be written, ERegistryException when the store fails.
ImportResult Import(const std::vector<Key>& keys);

// KEY with everything below it, named under rootName in the file; nothing when the key
// does not exist.
std::optional<std::vector<Key>> Export(Platform::Hive hive, const std::string& rootName,
                                       const std::string& path);

}  // namespace regfile
