// A registry editor file of any content: read it, and when it reads, write the keys
// back out and read that again, which must give the same keys.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "regFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<regfile::Key> keys;
  try {
    keys = regfile::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const regfile::ParseError&) {
    return 0;
  }
  std::string written;
  try {
    written = regfile::Write(keys);
  } catch (const std::invalid_argument&) {
    return 0;  // a name with a line break, which the format cannot carry
  }
  const std::vector<regfile::Key> again = regfile::Parse(written);
  if (again.size() != keys.size()) {
    std::abort();
  }
  return 0;
}
