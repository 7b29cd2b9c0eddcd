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

ScopedRegistryDir::ScopedRegistryDir() {
  if (const char* old = std::getenv("QS_REGISTRY_DIR")) {
    hadPrevious_ = true;
    previous_ = old;
  }
  setenv("QS_REGISTRY_DIR", dir_.Path().c_str(), 1);
  // The program's other files (the delivery log) go there too, never to the real home.
  if (const char* old = std::getenv("XDG_STATE_HOME")) {
    hadPreviousState_ = true;
    previousState_ = old;
  }
  setenv("XDG_STATE_HOME", dir_.Path().c_str(), 1);
}

ScopedRegistryDir::~ScopedRegistryDir() {
  if (hadPrevious_) {
    setenv("QS_REGISTRY_DIR", previous_.c_str(), 1);
  } else {
    unsetenv("QS_REGISTRY_DIR");
  }
  if (hadPreviousState_) {
    setenv("XDG_STATE_HOME", previousState_.c_str(), 1);
  } else {
    unsetenv("XDG_STATE_HOME");
  }
}

}  // namespace testsupport
