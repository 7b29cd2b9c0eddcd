// The program's command line: --help, --version, --events-file FILE and --hidden, and the
// commands that change or read the items without a window (--add, --list, --remove,
// --export-ics, --import-ics). Parsing never opens a window; main() acts on the outcome.
#pragma once

#include <QStringList>
#include <string>

namespace command_line {

inline constexpr const char* kProgram = "vazudovu";
inline constexpr const char* kVersion = VAZUDOVU_VERSION;

enum class Command { None, Add, List, Remove, ExportIcs, ImportIcs };

struct Outcome {
  // -1 to go on and open the window; otherwise the exit code to end with at once
  // (0 after --help or --version, 2 for an unknown option or a missing value).
  int exitCode = -1;
  // What to print before ending: to standard output after --help and --version, to
  // standard error (the reason, then the usage) after a mistake.
  std::string output;
  std::string error;
  std::string eventsFile;  // empty when not given
  bool hidden = false;

  Command command = Command::None;
  // --add: the values given; empty where an option was left out.
  std::string description, at, zone, warn, repeat, id;
  std::string via;  // the comma list; only checked when viaGiven
  bool viaGiven = false;
  bool json = false;   // --list --json
  std::string target;  // --remove's ID, or the calendar file
};

// The arguments including the program name, as QCoreApplication::arguments() gives them.
Outcome Parse(const QStringList& arguments);

}  // namespace command_line
