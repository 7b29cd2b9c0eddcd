#include "events/eventsLocation.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "UniqueFd.h"
#include "desktop/xdgFolders.h"
#include "events/eventsFile.h"

namespace fs = std::filesystem;

namespace events_location {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

Location Resolve(const Inputs& in) {
  if (!in.commandLine.empty()) {
    return {in.commandLine, Source::Named};
  }
  if (!in.environment.empty()) {
    return {in.environment, Source::Named};
  }
  if (!in.exeFolder.empty()) {
    const std::string beside = (fs::path(in.exeFolder) / events_file::kFileName).string();
    if (in.exists && in.exists(beside)) {
      return {beside, Source::BesideExecutable};
    }
  }
  // A relative XDG_DATA_HOME is invalid and ignored, as the base directory rules say.
  fs::path data = in.dataHome;
  if (data.empty() || data.is_relative()) {
    data = fs::path(in.home.empty() ? "/" : in.home) / ".local" / "share";
  }
  return {(data / "QSoft" / events_file::kFileName).string(), Source::DataFolder};
}

Inputs FromProcess(const std::string& commandLine) {
  Inputs in;
  in.commandLine = commandLine;
  in.environment = Env("QS_EVENTS_FILE");
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    in.exeFolder = exe.parent_path().string();
  }
  in.dataHome = Env("XDG_DATA_HOME");
  in.home = xdg::HomeFolder();
  in.exists = [](const std::string& path) {
    std::error_code err;
    return fs::is_regular_file(path, err);
  };
  return in;
}

bool PrepareDataFolder(const Location& location, std::string& why) {
  if (location.source != Source::DataFolder) {
    return true;
  }
  const fs::path folder = fs::path(location.path).parent_path();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    fs::create_directories(folder, ec);
    if (ec) {
      why = "Cannot create " + folder.string() + ": " + ec.message();
      return false;
    }
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
  }
  // O_EXCL: an existing file, even one made a moment ago by another start, is left alone.
  const Platform::UniqueFd made(
      ::open(location.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!made && errno != EEXIST) {
    why = "Cannot create " + location.path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace events_location
