#include "time/zoneOffsetCache.h"

#include <sys/stat.h>

#include <QtGlobal>
#include <charconv>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <sstream>

#include "RegularFile.h"
#include "desktop/xdgFolders.h"

namespace zone_cache {

namespace {

constexpr char kFormat[] = "zone-offsets 1";
// Far more than the database's few hundred zones.
constexpr std::size_t kMaxBytes = 1 << 20;

std::string Header(const std::string& stamp, int year) {
  return std::string(kFormat) + "\t" + stamp + "\t" + std::to_string(year);
}

bool ReadZone(const std::string& line, time_zones::Zone& zone) {
  const std::size_t tab = line.find('\t');
  if (tab == 0 || tab == std::string::npos) {
    return false;
  }
  const char* first = line.data() + tab + 1;
  const char* last = line.data() + line.size();
  double hours = 0;
  const auto [end, error] = std::from_chars(first, last, hours);
  if (error != std::errc() || end != last || !time_zones::IsValidOffset(hours)) {
    return false;
  }
  zone = {line.substr(0, tab), hours};
  return true;
}

}  // namespace

std::string DatabaseStamp() {
  const char* dir = std::getenv("TZDIR");
  const std::string folder = dir != nullptr && dir[0] == '/' ? dir : "/usr/share/zoneinfo";
  for (const char* name : {"tzdata.zi", "zone1970.tab", "zone.tab"}) {
    const std::string path = folder + "/" + name;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
      return std::string("Qt ") + qVersion() + " " + path + " " + std::to_string(st.st_size) + " " +
             std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    }
  }
  return "";
}

std::string DefaultPath() {
  return xdg::BaseFolder("XDG_CACHE_HOME", ".cache") + "/QSoft/zone-offsets";
}

bool Read(const std::string& path, const std::string& stamp, int year,
          std::vector<time_zones::Zone>& zones) {
  const Platform::FileRead file = Platform::ReadRegularFile(path, kMaxBytes);
  if (!file.Ok()) {
    return false;
  }
  std::istringstream in(file.bytes);
  std::string line;
  if (!std::getline(in, line) || line != Header(stamp, year)) {
    return false;
  }
  std::vector<time_zones::Zone> read;
  while (std::getline(in, line)) {
    if (!ReadZone(line, read.emplace_back())) {
      return false;
    }
  }
  if (in.bad() || read.empty()) {
    return false;
  }
  zones = std::move(read);
  return true;
}

void Write(const std::string& path, const std::string& stamp, int year,
           const std::vector<time_zones::Zone>& zones) {
  std::string bytes = Header(stamp, year) + "\n";
  char number[32];
  for (const time_zones::Zone& zone : zones) {
    // A name that would break its line cannot be kept: nothing is, and every start reads
    // the database.
    if (zone.name.empty() || zone.name.find_first_of("\t\r\n") != std::string::npos) {
      return;
    }
    const auto [end, error] = std::to_chars(number, number + sizeof number, zone.offset);
    bytes += zone.name + "\t" + std::string(number, end) + "\n";
  }
  try {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    Platform::WriteFileAtomically(path, bytes, "the zone offsets");
  } catch (const std::exception&) {
    // Kept only to save time: a start without it reads the database.
  }
}

}  // namespace zone_cache
