#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vazudovu-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary folder");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

ScopedRegistryDir::ScopedRegistryDir()
    // The program's other files (the delivery log, the zone offsets kept between runs) go
    // there too, never to the real home.
    : registry_("QS_REGISTRY_DIR", dir_.Path()),
      state_("XDG_STATE_HOME", dir_.Path()),
      cache_("XDG_CACHE_HOME", dir_.Path()) {}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    had_ = true;
    old_ = old;
  }
  setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

}  // namespace testsupport
