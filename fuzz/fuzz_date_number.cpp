// Date-time and number texts as the events file and the settings hand them over.
#include <cstddef>
#include <cstdint>
#include <string>

#include "DateTime.h"
#include "Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Platform::TDateTime when = 0.0;
  if (Platform::TryStrToDateTime(text, when)) {
    (void)Platform::FormatDateTime("yyyy-mm-dd hh:nn:ss", when);
  }
  double number = 0.0;
  (void)Platform::TryStrToFloat(text, number);
  try {
    (void)Platform::StrToInt(text);
  } catch (const Platform::Exception&) {
  }
  return 0;
}
