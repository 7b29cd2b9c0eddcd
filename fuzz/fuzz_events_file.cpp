// A whole events file through the loader's text steps: lines, fields, the integers
// beside each text, and the end time read as a date-time.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "CommonCodeLite.h"
#include "DateTime.h"
#include "Exceptions.h"
#include "events/eventsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = events_file::SplitLines(bytes);
  for (const std::string& line : lines) {
    const std::vector<std::string> values =
        VIDodadaZadoVove::GetDelimitedValues(line, "|", -1, -1, false, true, false);
    std::string rebuilt;
    for (std::size_t k = 0; k + 1 < values.size(); k += 2) {
      const std::intptr_t object = events_file::ObjectFromField(values[k + 1]);
      events_file::AppendField(rebuilt, values[k], object);
      Platform::TDateTime when = 0.0;
      (void)Platform::TryStrToDateTime(values[k], when);
    }
  }
  (void)events_file::JoinLines(lines);
  // The start-up's one-pass cut must agree with the cut line by line.
  const events_file::FieldLines cut(bytes);
  if (cut.size() != lines.size()) {
    __builtin_trap();
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::vector<std::string> values =
        VIDodadaZadoVove::GetDelimitedValues(lines[i], "|", -1, -1, false, true, false);
    if (values.size() != cut[i].size()) {
      __builtin_trap();
    }
    for (std::size_t k = 0; k < values.size(); ++k) {
      if (values[k] != cut[i][k]) {
        __builtin_trap();
      }
    }
  }
  return 0;
}
