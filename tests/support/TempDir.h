// A fresh temporary folder for one test, removed with everything in it afterwards,
// and a guard that points the settings store at such a folder.
#pragma once

#include <string>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets an environment variable for its own lifetime and restores it after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

// Sets QS_REGISTRY_DIR, XDG_STATE_HOME and XDG_CACHE_HOME to a fresh folder for the
// guard's lifetime, so both hives start empty and the delivery log and kept zone
// offsets are the test's own; restores the previous values afterwards.
class ScopedRegistryDir {
 public:
  ScopedRegistryDir();
  const std::string& Path() const { return dir_.Path(); }
  std::string UserFile() const { return dir_.File("user.db"); }
  std::string MachineFile() const { return dir_.File("machine.db"); }

 private:
  TempDir dir_;
  ScopedEnv registry_;
  ScopedEnv state_;
  ScopedEnv cache_;
};

}  // namespace testsupport
