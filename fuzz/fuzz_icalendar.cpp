// An iCalendar file from anywhere read as items; what is read must also go out and come
// back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>

#include "events/calendarFile.h"

namespace {

bool Known(const std::string& zone) {
  return zone == "Europe/Berlin" || zone == "America/New_York" || zone == "My Zone" ||
         zone == "Coordinated Universal Time";
}

double Offset(const std::string& zone) {
  return zone == "My Zone" ? -3.25 : 0.0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const time_zones::Zone local{"Europe/Berlin", 1.0};
  const calendar_file::ImportResult read = calendar_file::Import(text, Known, local);
  if (read.items.empty() && read.skipped.empty()) {
    __builtin_trap();  // every input gives items or a reason
  }
  const std::string written = calendar_file::Export(read.items, Offset, 1796000000);
  const calendar_file::ImportResult back = calendar_file::Import(written, Known, local);
  if (back.items != read.items) {
    __builtin_trap();
  }
  return 0;
}
