#include "desktop/fileLimit.h"

#include <fstream>

namespace file_limit {

namespace {

// The kernel's ceiling for a process's open files; an unlimited soft limit is refused.
rlim_t KernelCeiling() {
  std::ifstream file("/proc/sys/fs/nr_open");
  unsigned long long value = 0;
  if (file >> value && value > 0) {
    return static_cast<rlim_t>(value);
  }
  return 1048576;  // the kernel's default ceiling
}

}  // namespace

rlim_t RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    return RLIM_INFINITY;
  }
  rlimit wanted = limit;
  wanted.rlim_cur = limit.rlim_max != RLIM_INFINITY ? limit.rlim_max : KernelCeiling();
  if (wanted.rlim_cur <= limit.rlim_cur || ::setrlimit(RLIMIT_NOFILE, &wanted) != 0) {
    return limit.rlim_cur;
  }
  return wanted.rlim_cur;
}

}  // namespace file_limit
