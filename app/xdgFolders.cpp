#include "xdgFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace xdg {

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

}  // namespace xdg
