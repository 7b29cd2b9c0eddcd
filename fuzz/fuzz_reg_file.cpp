// A registry editor file of any content: read it, and when it reads, write the keys
// back out and read that again, which must give the same keys. Then import the keys
// into a store of their own and export both hives: an import either fails with a
// message or leaves keys no deeper than the store allows, which export again.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string_view>

#include "regFile.h"
#include "regTransfer.h"

namespace {

std::filesystem::path HiveFolder() {
  static const std::filesystem::path folder = [] {
    char pattern[] = "/tmp/vazudovu-fuzz-reg-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) {
      std::abort();
    }
    setenv("QS_REGISTRY_DIR", made, 1);
    return std::filesystem::path(made);
  }();
  return folder;
}

void ThroughTheStore(const std::vector<regfile::Key>& keys) {
  const std::filesystem::path folder = HiveFolder();
  for (const char* hive : {"user.db", "machine.db"}) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
      std::filesystem::remove(folder / (std::string(hive) + suffix));
    }
  }
  try {
    regfile::Import(keys);
  } catch (const std::exception&) {
    return;  // refused with a message; nothing of it is kept
  }
  for (const auto hive : {Platform::Hive::CurrentUser, Platform::Hive::LocalMachine}) {
    const auto exported = regfile::Export(hive, "HKEY_CURRENT_USER", "");
    if (!exported) {
      continue;
    }
    for (const regfile::Key& key : *exported) {
      const std::size_t depth =
          key.path.empty()
              ? 0
              : 1 + static_cast<std::size_t>(std::count(key.path.begin(), key.path.end(), '\\'));
      if (depth > Platform::kMaxKeyDepth) {
        std::abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<regfile::Key> keys;
  try {
    keys = regfile::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const regfile::ParseError&) {
    return 0;
  }
  std::string written;
  try {
    written = regfile::Write(keys);
  } catch (const std::invalid_argument&) {
    return 0;  // a name with a line break, which the format cannot carry
  }
  const std::vector<regfile::Key> again = regfile::Parse(written);
  if (again.size() != keys.size()) {
    std::abort();
  }
  ThroughTheStore(keys);
  return 0;
}
