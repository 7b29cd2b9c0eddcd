#include "time/timeZoneCatalogue.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

#include "CommonCodeLite.h"
#include "DateTime.h"
#include "Exceptions.h"
#include "settings/settingsStore.h"
#include "time/zoneOffsetCache.h"

using namespace VIDodadaZadoVove;

namespace time_zones {

namespace {

std::vector<Zone> ZonesUnder(const std::string& key, const std::vector<std::string>& names) {
  std::vector<Zone> zones;
  zones.reserve(names.size());
  for (const std::string& name : names) {
    const std::string zoneKey = key + "\\" + name;
    int size = 0;
    const auto record = ReadBinaryFromRegistry(HKEY_LOCAL_MACHINE, zoneKey, "TZI", size, true, "");
    // A missing record, or one too short to hold its Bias, names no usable zone.
    if (record == nullptr || size < 4) {
      continue;
    }
    const std::uint32_t bits = static_cast<std::uint32_t>(record[0]) |
                               (static_cast<std::uint32_t>(record[1]) << 8) |
                               (static_cast<std::uint32_t>(record[2]) << 16) |
                               (static_cast<std::uint32_t>(record[3]) << 24);
    zones.push_back({name, OffsetFromBias(static_cast<std::int32_t>(bits))});
  }
  return zones;
}

// The zone keys of the registry's database and the key that lists them.
std::vector<std::string> RegistryZoneNames(std::string& key) {
  key = kZones9xKey;
  std::vector<std::string> names = ReadKeysFromRegistry(HKEY_LOCAL_MACHINE, key, true, "");
  if (names.empty()) {
    key = kZonesNTKey;
    names = ReadKeysFromRegistry(HKEY_LOCAL_MACHINE, key, true, "");
  }
  return names;
}

// The zone's base offset in whole minutes, as a Bias would give it: the smaller of its
// offsets in January and July of the instant's year. The database's own "standard"
// offset will not do: where winter time is written as daylight saving below the base
// (Europe/Dublin), it reports summer time as standard all year.
int YearOf(std::int64_t utcMSecs) {
  return QDateTime::fromMSecsSinceEpoch(utcMSecs, Qt::UTC).date().year();
}

double StandardOffset(const QTimeZone& zone, const QDateTime& at) {
  const int year = at.toUTC().date().year();
  const QTime noon(12, 0);
  const int january = zone.offsetFromUtc(QDateTime(QDate(year, 1, 1), noon, Qt::UTC));
  const int july = zone.offsetFromUtc(QDateTime(QDate(year, 7, 1), noon, Qt::UTC));
  return OffsetFromBias(-(std::min(january, july) / 60));
}

}  // namespace

double OffsetFromBias(std::int32_t biasMinutes) {
  // Adding zero turns the negated zero of Bias 0 into a plain zero, which prints as "0".
  return biasMinutes * (1.0 / 60.0) * -1.0 + 0.0;
}

Zone SystemLocalZone(std::int64_t utcMSecs) {
  const QTimeZone zone = QTimeZone::systemTimeZone();
  std::string name = QTimeZone::systemTimeZoneId().toStdString();
  if (name.empty()) {
    name = "UTC";
  }
  const QDateTime at = QDateTime::fromMSecsSinceEpoch(utcMSecs, Qt::UTC);
  return {name, zone.isValid() ? StandardOffset(zone, at) : 0.0};
}

std::vector<Zone> RegistryZones() {
  std::string key;
  const std::vector<std::string> names = RegistryZoneNames(key);
  return ZonesUnder(key, names);
}

std::vector<Zone> IanaZones(std::int64_t utcMSecs) {
  const QDateTime at = QDateTime::fromMSecsSinceEpoch(utcMSecs, Qt::UTC);
  const QList<QByteArray> ids = QTimeZone::availableTimeZoneIds();
  std::vector<Zone> zones;
  zones.reserve(static_cast<std::size_t>(ids.size()));
  for (const QByteArray& id : ids) {
    const QTimeZone zone(id);
    if (zone.isValid()) {
      zones.push_back({id.toStdString(), StandardOffset(zone, at)});
    }
  }
  return zones;
}

IanaZonesAhead::IanaZonesAhead(std::int64_t utcMSecs, std::string cachePath)
    : year_(YearOf(utcMSecs)) {
  // The environment is read here: the thread must not read it while the program sets it.
  if (cachePath.empty()) {
    cachePath = zone_cache::DefaultPath();
  }
  std::string stamp = zone_cache::DatabaseStamp();
  // Read on the spot when taken should no thread be had.
  zones_ =
      std::async(std::launch::async | std::launch::deferred,
                 [utcMSecs, year = year_, path = std::move(cachePath), stamp = std::move(stamp)] {
                   std::vector<Zone> zones;
                   if (!stamp.empty() && zone_cache::Read(path, stamp, year, zones)) {
                     return zones;
                   }
                   zones = IanaZones(utcMSecs);
                   if (!stamp.empty()) {
                     zone_cache::Write(path, stamp, year, zones);
                   }
                   return zones;
                 });
}

std::vector<Zone> IanaZonesAhead::Take(std::int64_t utcMSecs) {
  if (zones_.valid()) {
    std::vector<Zone> zones = zones_.get();
    if (YearOf(utcMSecs) == year_) {
      return zones;
    }
  }
  return IanaZones(utcMSecs);
}

std::vector<Zone> SystemZones(std::int64_t utcMSecs, IanaZonesAhead* ahead) {
  std::string key;
  const std::vector<std::string> names = RegistryZoneNames(key);
  if (!names.empty()) {
    return ZonesUnder(key, names);
  }
  return ahead != nullptr ? ahead->Take(utcMSecs) : IanaZones(utcMSecs);
}

std::vector<Zone> UserZones() {
  std::vector<Zone> zones;
  for (const std::string& name : ReadKeysFromRegistry(HKEY_CURRENT_USER, kUserZonesKey, true, "")) {
    const Variant offset = ReadFromRegistry(
        HKEY_CURRENT_USER, std::string(kUserZonesKey) + "\\" + name, kUserOffsetValue, 5, true, "");
    const double hours = offset.IsNull() ? 0.0 : offset.AsDouble();
    // A stored offset is held to what a typed one must be: a NaN one would make every item
    // of the zone silently never due.
    if (!IsValidOffset(hours)) {
      VIDodadaZadoVove::ShowLibraryMessageBox(
          Platform::Format("'%s' is not a valid timezone offset",
                           Platform::Format("%g", hours).c_str()) +
              " (stored for the time zone " + name + ", which is left out)",
          "Problem Detected");
      continue;
    }
    zones.push_back({name, hours});
  }
  return zones;
}

void AddSystemZones(ZoneMap& zones, const std::vector<Zone>& systemZones) {
  zones[kUtcName] = 0.0;
  for (const Zone& zone : systemZones) {
    zones[zone.name] = zone.offset;
  }
}

void AddUserZones(ZoneMap& zones, const std::vector<Zone>& userZones) {
  zones[kOtherName] = 0.0;
  for (const Zone& zone : userZones) {
    zones[zone.name] = zone.offset;
  }
}

void AddLocalZone(ZoneMap& zones, const Zone& local) {
  zones.emplace(local.name, local.offset);
}

std::vector<std::string> Names(const ZoneMap& zones) {
  std::vector<std::string> names;
  names.reserve(zones.size());
  for (const auto& entry : zones) {
    names.push_back(entry.first);
  }
  return names;
}

NameCheck CheckNewName(const std::vector<std::string>& listed, const std::string& name) {
  if (name.empty()) {
    return NameCheck::Empty;
  }
  if (settings_store::IndexOfText(listed, name) >= 0) {
    return NameCheck::Exists;
  }
  // The name becomes a registry key of its own: a backslash would split it in two.
  if (name.find('\\') != std::string::npos) {
    return NameCheck::Unstorable;
  }
  return NameCheck::Accepted;
}

bool IsValidOffset(double hours) {
  return std::isfinite(hours) && std::fabs(hours) <= 24.0;
}

double ParseOffset(const std::string& text) {
  const double offset = Platform::StrToFloat(text);
  if (!IsValidOffset(offset)) {
    throw Platform::EConvertError(
        Platform::Format("'%s' is not a valid timezone offset", text.c_str()));
  }
  return offset;
}

void StoreUserZone(const std::string& name, double offset) {
  WriteToRegistry(HKEY_CURRENT_USER, std::string(kUserZonesKey) + "\\" + name, kUserOffsetValue,
                  Variant(offset), true, "");
}

}  // namespace time_zones
