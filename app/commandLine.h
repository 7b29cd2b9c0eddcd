// The program's command line: --help, --version, --events-file FILE and --hidden.
// Parsing never opens a window; main() acts on the outcome.
#pragma once

#include <QStringList>
#include <string>

namespace command_line {

inline constexpr const char* kProgram = "vazudovu";
inline constexpr const char* kVersion = VAZUDOVU_VERSION;

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
};

// The arguments including the program name, as QCoreApplication::arguments() gives them.
Outcome Parse(const QStringList& arguments);

}  // namespace command_line
