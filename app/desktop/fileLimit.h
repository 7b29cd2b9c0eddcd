// The number of files the process may have open. Every notification worker holds sockets,
// and a burst of due items runs many of them, so the program asks for all it may have.
#pragma once

#include <sys/resource.h>

namespace file_limit {

// Raises the soft limit on open files to the hard one (or, where the hard one is
// unlimited, to the most the kernel allows). Returns the soft limit in force afterwards;
// a limit that cannot be raised stays as it was.
rlim_t RaiseOpenFileLimit();

}  // namespace file_limit
