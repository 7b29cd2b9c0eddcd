// "Start when I log in": a desktop entry in the user's autostart folder,
// $XDG_CONFIG_HOME/autostart/ (default ~/.config/autostart/), named as the installed
// one, that starts the program hidden in the tray.
#pragma once

#include <string>

namespace start_at_login {

// The name of the program's desktop entry, in the menu and in the autostart folder.
inline constexpr const char* kEntryName = "vazudovu.desktop";

// The autostart entry's path for this environment.
std::string EntryPath();

// The command the entry runs: the plain name when the search path finds this very
// executable (an installed copy), else the executable's full path (a build or a
// portable copy), quoted as desktop entries quote.
std::string ExecLine(const std::string& exePath, const std::string& foundOnPath);

// The whole entry for that command.
std::string EntryText(const std::string& exec);

// Writes the entry (start == true) or removes it. Raises Platform::Exception saying why
// when it cannot.
void Apply(bool start);

}  // namespace start_at_login
