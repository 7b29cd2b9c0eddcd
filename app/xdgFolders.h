// Where the program keeps its files in the user's home, by the XDG base folder rules.
#pragma once

#include <string>

namespace xdg {

// $HOME, else the password database's home; "/" when neither names one.
std::string HomeFolder();

// The base folder a variable names (XDG_DATA_HOME, XDG_CACHE_HOME, ...) when it holds an
// absolute path, else the default under the home folder (".local/share", ".cache", ...).
// A relative value is invalid by the rules and ignored.
std::string BaseFolder(const char* variable, const char* defaultUnderHome);

}  // namespace xdg
