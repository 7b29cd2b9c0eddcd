// Where the events file lives. A file named on the command line or in QS_EVENTS_FILE
// wins; else a "QSEvents.C-D" already beside the executable keeps being used (a portable
// copy, or one brought over from Windows); else the user's data folder,
// $XDG_DATA_HOME/QSoft/QSEvents.C-D (default ~/.local/share/QSoft/). The rules are pure:
// the caller passes what the environment holds.
#pragma once

#include <functional>
#include <string>

namespace events_location {

struct Inputs {
  std::string commandLine;  // --events-file, empty when not given
  std::string environment;  // QS_EVENTS_FILE, empty when unset
  std::string exeFolder;    // the folder of the running executable
  std::string dataHome;     // XDG_DATA_HOME, empty when unset
  std::string home;         // the user's home folder
  std::function<bool(const std::string&)> exists;
};

enum class Source { Named, BesideExecutable, DataFolder };

struct Location {
  std::string path;
  Source source;
};

Location Resolve(const Inputs& in);

// The inputs of this process: its environment, its executable and the file system.
Inputs FromProcess(const std::string& commandLine);

// The data folder is made on first use, readable by the user alone, and an empty events
// file is put there so the user finds where the items go. False, with the reason, when the
// folder cannot be made; the window then reports the save that fails.
bool PrepareDataFolder(const Location& location, std::string& why);

}  // namespace events_location
