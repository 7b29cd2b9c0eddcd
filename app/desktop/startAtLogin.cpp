#include "desktop/startAtLogin.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "Exceptions.h"
#include "RegularFile.h"
#include "desktop/xdgFolders.h"

namespace fs = std::filesystem;

namespace start_at_login {

namespace {

// Searches PATH the way a session's launcher does.
std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string rest = path ? path : "";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string folder = rest.substr(0, colon);
    rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    if (folder.empty()) {
      continue;
    }
    std::error_code ec;
    const fs::path candidate = fs::path(folder) / name;
    if (fs::is_regular_file(candidate, ec)) {
      return fs::canonical(candidate, ec).string();
    }
  }
  return {};
}

}  // namespace

std::string EntryPath() {
  return (fs::path(xdg::BaseFolder("XDG_CONFIG_HOME", ".config")) / "autostart" / kEntryName)
      .string();
}

std::string ExecLine(const std::string& exePath, const std::string& foundOnPath) {
  if (exePath.empty() || exePath == foundOnPath) {
    return "vazudovu --hidden";
  }
  // Inside double quotes a desktop entry escapes ", `, $ and \ with a backslash, and the
  // key file format then doubles every backslash; "%" starts a field code unless doubled.
  std::string quoted = "\"";
  for (const char c : exePath) {
    if (c == '"' || c == '`' || c == '$') {
      quoted += "\\\\";
    } else if (c == '\\') {
      quoted += "\\\\\\";
    } else if (c == '%') {
      quoted += '%';
    }
    quoted += c;
  }
  return quoted + "\" --hidden";
}

std::string EntryText(const std::string& exec) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Vazudovu\n"
         "Comment=Start the reminders hidden in the system tray\n"
         "Icon=vazudovu\n"
         "Exec=" +
         exec +
         "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

void Apply(bool start) {
  const std::string path = EntryPath();
  std::error_code ec;
  if (!start) {
    fs::remove(path, ec);
    if (ec) {
      throw Platform::Exception("Cannot remove " + path + ": " + ec.message());
    }
    return;
  }
  fs::create_directories(fs::path(path).parent_path(), ec);
  if (ec) {
    throw Platform::Exception("Cannot create " + fs::path(path).parent_path().string() + ": " +
                              ec.message());
  }
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  const std::string exePath = ec ? std::string() : exe.string();
  Platform::WriteFileAtomically(path, EntryText(ExecLine(exePath, FindOnPath("vazudovu"))),
                                "the autostart entry");
}

}  // namespace start_at_login
