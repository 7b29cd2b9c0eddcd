#include "Exceptions.h"

#include <cstdarg>
#include <cstdio>

namespace Platform {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string result;
  if (length > 0) {
    result.resize(static_cast<std::size_t>(length));
    std::vsnprintf(result.data(), result.size() + 1, format, args);
  }
  va_end(args);
  return result;
}

}  // namespace Platform
