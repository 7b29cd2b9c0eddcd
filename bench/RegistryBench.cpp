// The cost of one settings write (a keystroke in an edit box writes the user and the
// machine copy) and of one settings read.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "CommonCodeLite.h"

namespace {

using namespace VIDodadaZadoVove;

const std::string kKey = "Software\\QSoft\\QSRedorodo";

// Points the store at a fresh folder for one benchmark, so both hives are writable.
class StoreFolder {
 public:
  StoreFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vazudovu-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
    setenv("QS_REGISTRY_DIR", path_.c_str(), 1);
  }
  ~StoreFolder() {
    unsetenv("QS_REGISTRY_DIR");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

 private:
  std::string path_;
};

void WriteBoth(benchmark::State& state, bool noFlush) {
  StoreFolder folder;
  bForceNoRegistryFlush_m = noFlush;
  std::string text = "smtp.example.org";
  for (auto _ : state) {
    text.back() = static_cast<char>('a' + state.iterations() % 26);
    if (!WriteToRegistry(HKEY_CURRENT_USER, kKey, "EMailHost", Variant(text), true, "")) {
      state.SkipWithError("write failed");
      break;
    }
  }
  bForceNoRegistryFlush_m = false;
}

void BM_WriteToRegistryFlushed(benchmark::State& state) {
  WriteBoth(state, false);
}
void BM_WriteToRegistryUnflushed(benchmark::State& state) {
  WriteBoth(state, true);
}

void BM_ReadFromRegistryText(benchmark::State& state) {
  StoreFolder folder;
  WriteToRegistry(HKEY_CURRENT_USER, kKey, "EMailHost", Variant("smtp.example.org"), false, "");
  for (auto _ : state) {
    Variant v = ReadFromRegistry(HKEY_CURRENT_USER, kKey, "EMailHost", 256, false, "");
    if (v.IsNull()) {
      state.SkipWithError("read found nothing");
      break;
    }
    benchmark::DoNotOptimize(v);
  }
}

BENCHMARK(BM_WriteToRegistryFlushed)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteToRegistryUnflushed)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadFromRegistryText)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
