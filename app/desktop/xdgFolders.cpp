#include "desktop/xdgFolders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace xdg {

unsigned OwnUser() {
  return static_cast<unsigned>(::geteuid());
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return home;
  }
  if (const passwd* entry = ::getpwuid(::getuid());
      entry != nullptr && entry->pw_dir != nullptr && *entry->pw_dir != '\0') {
    return entry->pw_dir;
  }
  return "/";
}

std::string BaseFolder(const char* variable, const char* defaultUnderHome) {
  if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
    return value;
  }
  return (std::filesystem::path(HomeFolder()) / defaultUnderHome).string();
}

Platform::UniqueFd OpenPrivateFolder(const std::string& path, bool followLink, std::string& why,
                                     unsigned user) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    why = path + ": " + std::strerror(errno);
    return {};
  }
  Platform::UniqueFd fd(
      ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW)));
  if (!fd) {
    why = path + (errno == ELOOP || errno == ENOTDIR ? ": not a folder of its own"
                                                     : std::string(": ") + std::strerror(errno));
    return {};
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || st.st_uid != user) {
    why = path + " belongs to another user";
    return {};
  }
  if ((st.st_mode & 077) != 0 && ::fchmod(fd.get(), 0700) != 0) {
    why = path + ": " + std::strerror(errno);
    return {};
  }
  return fd;
}

std::string RuntimeFolder() {
  // The session's own folder is made by the system; it is used, never changed.
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && runtime[0] == '/') {
    struct stat st {};
    if (::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == OwnUser() &&
        (st.st_mode & 077) == 0) {
      return runtime;
    }
  }
  const char* tmp = std::getenv("TMPDIR");
  const std::string folder = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") +
                             "/vazudovu-" + std::to_string(OwnUser());
  std::string why;
  return OpenPrivateFolder(folder, false, why) ? folder : "";
}

}  // namespace xdg
