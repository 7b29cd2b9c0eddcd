// A settings file of any content opened as the user's hive: reads, enumeration and a
// write must report a file they cannot use, never crash or change a foreign file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "CommonCodeLite.h"
#include "Exceptions.h"

namespace {

std::filesystem::path HiveFolder() {
  static const std::filesystem::path folder = [] {
    char pattern[] = "/tmp/vazudovu-fuzz-hive-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) {
      std::abort();
    }
    setenv("QS_REGISTRY_DIR", made, 1);
    // Syncing each write to disk only slows the search; the file's content is the same.
    VIDodadaZadoVove::bForceNoRegistryFlush_m = true;
    // Reports of unusable files are expected here; keep the run's output quiet.
    VIDodadaZadoVove::SetMessageBoxHandler([](const std::string&, const std::string&) {});
    return std::filesystem::path(made);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace V = VIDodadaZadoVove;
  const std::filesystem::path folder = HiveFolder();
  for (const char* name : {"user.db", "user.db-wal", "user.db-shm"}) {
    std::filesystem::remove(folder / name);
  }
  {
    std::ofstream file(folder / "user.db", std::ios::binary);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const std::string key = "Software\\QSoft\\QSRedorodo";
  // The registry functions report an unusable file, and some re-raise it as their own
  // "Internal Error in [...]" exception, as the program's callers expect.
  const auto guarded = [](auto&& call) {
    try {
      call();
    } catch (const Platform::Exception&) {
    }
  };
  guarded(
      [&] { (void)V::ReadFromRegistry(V::HKEY_CURRENT_USER, key, "EnableSounds", 3, true, ""); });
  guarded([&] { (void)V::ReadKeysFromRegistry(V::HKEY_CURRENT_USER, key, true, ""); });
  guarded([&] { (void)V::ReadKeyValueNamesFromRegistry(V::HKEY_CURRENT_USER, key, true, ""); });
  guarded([&] {
    int binarySize = 0;
    (void)V::ReadBinaryFromRegistry(V::HKEY_CURRENT_USER, key, "ClockFont", binarySize, true, "");
  });
  guarded([&] {
    (void)V::WriteToRegistry(V::HKEY_CURRENT_USER, key, "EnableSounds", V::Variant(1), false, "");
  });
  return 0;
}
