// The catalogue of named time zones with their standard offsets in hours east of UTC:
// the fixed entries, the system's zone database, the user's own zones and the
// computer's own zone. Daylight saving is never part of an offset.
#pragma once

#include <cstdint>
#include <future>
#include <map>
#include <string>
#include <vector>

namespace time_zones {

// Zone name -> offset in hours; names ordered byte by byte (upper case before lower).
using ZoneMap = std::map<std::string, double>;

inline constexpr char kUtcName[] = "Coordinated Universal Time";
inline constexpr char kOtherName[] = "OTHER";
// The registry's zone databases, the older one first, and the user's own zones.
inline constexpr char kZones9xKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Time Zones";
inline constexpr char kZonesNTKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones";
inline constexpr char kUserZonesKey[] = "Software\\QSoft\\QSRedorodo\\VirtualTZList";
inline constexpr char kUserOffsetValue[] = "VirtualTZOffset";

struct Zone {
  std::string name;
  double offset = 0.0;
  bool operator==(const Zone&) const = default;
};

// Bias is minutes to add to local standard time for UTC; the offset is its opposite in hours.
double OffsetFromBias(std::int32_t biasMinutes);

// The computer's own zone at the given instant (milliseconds since 1970 UTC): the system
// zone id ("Europe/Berlin", "Etc/UTC") and its standard offset.
Zone SystemLocalZone(std::int64_t utcMSecs);

// The zones the registry's database lists: the sub-keys of the older key, or of the NT key
// when the older lists none, each with the Bias of its "TZI" record. Keys without a whole
// Bias are passed over. Raises when a record cannot be read.
std::vector<Zone> RegistryZones();
// This platform's zone database: every zone id with its standard offset at the instant.
std::vector<Zone> IanaZones(std::int64_t utcMSecs);

// The platform's zone database read on a thread of its own from the moment this is made,
// so that the window does not wait for it on its way to the screen. The offsets read are
// kept in a file (zone_cache; cachePath, else its default place) and taken from there
// while the year and the database are the same.
class IanaZonesAhead {
 public:
  explicit IanaZonesAhead(std::int64_t utcMSecs, std::string cachePath = {});
  // The zones at the instant: those read ahead when they are for the same year (only the
  // year's January and July offsets count), else read now.
  std::vector<Zone> Take(std::int64_t utcMSecs);

 private:
  int year_;
  std::future<std::vector<Zone>> zones_;
};

// The registry's zones when its database lists any zone key, else the platform's (taken
// from those read ahead when given).
std::vector<Zone> SystemZones(std::int64_t utcMSecs, IanaZonesAhead* ahead = nullptr);
// The user's own zones with their stored offsets (0 where none is stored). A zone whose
// stored offset is not a valid one is left out, with a "Problem Detected" report.
std::vector<Zone> UserZones();

// Catalogue building: "Coordinated Universal Time" and then the system zones; "OTHER" and
// then the user's zones (a later name overwrites an earlier offset); the local zone only
// when its name is not there yet.
void AddSystemZones(ZoneMap& zones, const std::vector<Zone>& systemZones);
void AddUserZones(ZoneMap& zones, const std::vector<Zone>& userZones);
void AddLocalZone(ZoneMap& zones, const Zone& local);

// Every name of the catalogue, "OTHER" included, in catalogue order.
std::vector<std::string> Names(const ZoneMap& zones);

// Whether a name typed for a new zone can be added next to the listed ones.
enum class NameCheck { Accepted, Empty, Exists, Unstorable };
NameCheck CheckNewName(const std::vector<std::string>& listed, const std::string& name);
// The typed offset in hours: a number in the locale's form between -24 and 24. Raises
// EConvertError ("'%s' is not a valid floating point value" for what is not a number).
double ParseOffset(const std::string& text);
// A finite number of hours between -24 and 24.
bool IsValidOffset(double hours);
// Remembers a user zone for the next start.
void StoreUserZone(const std::string& name, double offset);

}  // namespace time_zones
