// Where the program keeps its files in the user's home, by the XDG base folder rules.
#pragma once

#include <string>

#include "UniqueFd.h"

namespace xdg {

// The effective user id.
unsigned OwnUser();

// $HOME, else the password database's home; "/" when neither names one.
std::string HomeFolder();

// The base folder a variable names (XDG_DATA_HOME, XDG_CACHE_HOME, ...) when it holds an
// absolute path, else the default under the home folder (".local/share", ".cache", ...).
// A relative value is invalid by the rules and ignored.
std::string BaseFolder(const char* variable, const char* defaultUnderHome);

// Makes the folder (mode 0700) when it is missing and opens it; it must be a folder owned by
// the user (effective id `user`), and is tightened to 0700 when it is wider open. A link is
// followed only when followLink is true. Returns the folder's descriptor, or none with the
// reason in why.
Platform::UniqueFd OpenPrivateFolder(const std::string& path, bool followLink, std::string& why,
                                     unsigned user = OwnUser());

// The folder for the program's sockets: $XDG_RUNTIME_DIR when it is the user's own and
// closed to others, else a folder "vazudovu-<uid>" of the user's own in the temporary
// folder ($TMPDIR, else /tmp), made 0700 and checked. Empty when neither can be had.
std::string RuntimeFolder();

}  // namespace xdg
