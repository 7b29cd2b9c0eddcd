// The commands that change or read the items from a script: through the program running
// on the events file when there is one, else on the file itself under its lock. Nothing
// here opens a display.
#pragma once

#include <string>

#include "commandLine.h"

namespace command_run {

struct Result {
  int exitCode = 0;    // 0 done, 1 not done (error says why)
  std::string output;  // for standard output
  std::string error;   // for standard error, one line
};

// Runs the command of the outcome on the events file.
Result Run(const command_line::Outcome& command, const std::string& eventsFile);

}  // namespace command_run
