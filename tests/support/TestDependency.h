// For a test that needs a program from a Debian package (a real mail server, a message
// bus, a virtual display): where the package is missing the test skips itself and says
// which package would run it; under CI (CI=true) the same is a failure, so a machine
// without the package can never pass CI by skipping.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace testsupport {

inline bool UnderCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string_view(ci) == "true";
}

}  // namespace testsupport

// Ends the test when `available` is false: a failure under CI, else a skip; `why` names
// the Debian package.
#define REQUIRE_TEST_DEPENDENCY(available, why) \
  do {                                          \
    if (!(available)) {                         \
      if (::testsupport::UnderCi()) {           \
        GTEST_FAIL() << why << "; CI needs it"; \
      }                                         \
      GTEST_SKIP() << why;                      \
    }                                           \
  } while (false)
