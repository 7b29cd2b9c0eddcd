// The zone catalogue against prepared store contents and this platform's zone database.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>
#include <cmath>
#include <fstream>
#include <limits>

#include "CommonCodeLite.h"
#include "Exceptions.h"
#include "RegistryStore.h"
#include "TempDir.h"
#include "time/timeZoneCatalogue.h"
#include "time/zoneOffsetCache.h"

using namespace time_zones;
using Platform::Hive;

namespace {

// A zone key with a TZI record of the given size whose first four bytes hold the Bias.
void PutZone(const std::string& databaseKey, const std::string& name, std::int32_t bias,
             int size = 44) {
  Platform::TRegistry reg;
  reg.SetRootKey(Hive::LocalMachine);
  ASSERT_TRUE(reg.OpenKey(databaseKey + "\\" + name, true));
  std::vector<unsigned char> tzi(static_cast<std::size_t>(size), 0);
  const auto bits = static_cast<std::uint32_t>(bias);
  for (int i = 0; i < 4 && i < size; ++i) {
    tzi[static_cast<std::size_t>(i)] = static_cast<unsigned char>(bits >> (8 * i));
  }
  reg.WriteBinaryData("TZI", tzi.data(), size);
  reg.CloseKey();
}

void MakeKey(Hive hive, const std::string& key) {
  Platform::TRegistry reg;
  reg.SetRootKey(hive);
  ASSERT_TRUE(reg.OpenKey(key, true));
  reg.CloseKey();
}

// 2026-07-01 12:00 UTC: summer in the north, so daylight saving would show if it counted.
const std::int64_t kSummer =
    QDateTime(QDate(2026, 7, 1), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();

class Catalogue : public ::testing::Test {
 protected:
  testsupport::ScopedRegistryDir registry_;
};

}  // namespace

TEST_F(Catalogue, ReadsBiasesFromTheNTKeyWhenTheOlderKeyIsEmpty) {
  MakeKey(Hive::LocalMachine, kZones9xKey);
  PutZone(kZonesNTKey, "Eastern Standard Time", 300);
  PutZone(kZonesNTKey, "India Standard Time", -330);
  PutZone(kZonesNTKey, "GMT Standard Time", 0);
  MakeKey(Hive::LocalMachine, std::string(kZonesNTKey) + "\\No Record");
  PutZone(kZonesNTKey, "Short Record", 60, 2);

  const std::vector<Zone> zones = SystemZones(kSummer);
  EXPECT_EQ(zones, (std::vector<Zone>{{"Eastern Standard Time", -5.0},
                                      {"GMT Standard Time", 0.0},
                                      {"India Standard Time", 5.5}}))
      << "keys without a whole Bias are passed over";
}

TEST_F(Catalogue, TheOlderKeyWinsWhenItListsAnyZone) {
  PutZone(kZones9xKey, "Only Here", -60);
  PutZone(kZonesNTKey, "Not Consulted", 120);
  EXPECT_EQ(SystemZones(kSummer), (std::vector<Zone>{{"Only Here", 1.0}}));
}

TEST_F(Catalogue, ZonesReadAheadServeOnlyTheirOwnYearAndNeverOverTheRegistrys) {
  // Whitehorse kept UTC-7 all year from late 2020; before, its winter was UTC-8.
  const auto july = [](int year) {
    return QDateTime(QDate(year, 7, 1), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();
  };
  IanaZonesAhead ahead(july(2019));
  ZoneMap map;
  AddSystemZones(map, SystemZones(july(2021), &ahead));
  EXPECT_EQ(map.at("America/Whitehorse"), -7.0) << "the zones of 2019 were not taken for 2021";

  PutZone(kZones9xKey, "Only Here", -60);
  IanaZonesAhead unused(kSummer);  // read, and then passed over
  EXPECT_EQ(SystemZones(kSummer, &unused), (std::vector<Zone>{{"Only Here", 1.0}}));
}

// The offsets kept between runs serve only their own database and year, and a damaged
// file is read as none: the database is then read again.
TEST_F(Catalogue, KeptZoneOffsetsServeOnlyTheirDatabaseAndYear) {
  const std::string path = registry_.Path() + "/QSoft/zone-offsets";
  const std::string stamp = zone_cache::DatabaseStamp();
  ASSERT_FALSE(stamp.empty()) << "no zone database stamp on this machine";
  const int year = QDateTime::currentDateTimeUtc().date().year();
  const std::int64_t now = QDateTime::currentMSecsSinceEpoch();

  const std::vector<Zone> read = IanaZonesAhead(now).Take(now);  // reads and keeps
  std::vector<Zone> kept;
  ASSERT_TRUE(zone_cache::Read(path, stamp, year, kept));
  EXPECT_EQ(kept, read);
  EXPECT_FALSE(zone_cache::Read(path, stamp + "x", year, kept));
  EXPECT_FALSE(zone_cache::Read(path, stamp, year + 1, kept));

  // What is kept is what the next start takes.
  zone_cache::Write(path, stamp, year, {{"Kept/Zone", 5.75}});
  EXPECT_EQ(IanaZonesAhead(now).Take(now), (std::vector<Zone>{{"Kept/Zone", 5.75}}));

  for (const char* damaged : {"Kept/Zone\t25\n", "Kept/Zone\tnan\n", "\t1\n", "Kept/Zone 1\n"}) {
    std::ofstream(path, std::ios::binary) << "zone-offsets 1\t" << stamp << "\t" << year << "\n"
                                          << damaged;
    EXPECT_FALSE(zone_cache::Read(path, stamp, year, kept)) << damaged;
    EXPECT_EQ(IanaZonesAhead(now).Take(now), read) << damaged;
  }
}

TEST_F(Catalogue, AnEmptyRegistryDatabaseMeansThePlatformsZonesWithStandardOffsets) {
  const std::vector<Zone> zones = SystemZones(kSummer);
  ASSERT_GT(zones.size(), 300u);
  ZoneMap map;
  AddSystemZones(map, zones);
  EXPECT_EQ(map.at("Europe/Berlin"), 1.0) << "standard time, not summer time";
  EXPECT_EQ(map.at("America/New_York"), -5.0);
  EXPECT_EQ(map.at("Asia/Kolkata"), 5.5);
  EXPECT_EQ(map.at("Asia/Kathmandu"), 5.75);
  EXPECT_EQ(map.at(kUtcName), 0.0);
  // The base offset is the smaller of January's and July's, whichever the database calls
  // daylight saving: Dublin writes its winter as saving below the base.
  EXPECT_EQ(map.at("Europe/Dublin"), 0.0);
  EXPECT_EQ(map.at("Australia/Sydney"), 10.0);
  EXPECT_EQ(map.at("America/Santiago"), -4.0);
}

TEST_F(Catalogue, TheLocalZoneIsTheSystemZoneIdWithItsStandardOffset) {
  const Zone local = SystemLocalZone(kSummer);
  const QTimeZone system = QTimeZone::systemTimeZone();
  EXPECT_EQ(local.name, QTimeZone::systemTimeZoneId().toStdString());
  const auto offsetOn = [&](int month) {
    return system.offsetFromUtc(QDateTime(QDate(2026, month, 1), QTime(12, 0), Qt::UTC));
  };
  EXPECT_EQ(local.offset, std::min(offsetOn(1), offsetOn(7)) / 3600.0);
}

TEST_F(Catalogue, BuildsInOrderWithUserZonesOverwritingAndTheLocalZoneLast) {
  PutZone(kZonesNTKey, "Zulu Time", 0);
  PutZone(kZonesNTKey, "Shared Name", 300);
  StoreUserZone("Shared Name", 2.5);
  StoreUserZone("apple time", -3.25);
  MakeKey(Hive::CurrentUser, std::string(kUserZonesKey) + "\\No Offset");

  ZoneMap map;
  AddSystemZones(map, SystemZones(kSummer));
  AddUserZones(map, UserZones());
  AddLocalZone(map, {"Zulu Time", 7.0});
  AddLocalZone(map, {"Local Only", 3.0});

  EXPECT_EQ(map.at("Shared Name"), 2.5) << "a user zone named like a system zone wins";
  EXPECT_EQ(map.at("No Offset"), 0.0);
  EXPECT_EQ(map.at("apple time"), -3.25);
  EXPECT_EQ(map.at("Zulu Time"), 0.0) << "the database offset of the local zone's name is kept";
  EXPECT_EQ(map.at("Local Only"), 3.0);
  // Byte order: capitals before small letters, so "OTHER" sits among the names.
  EXPECT_EQ(Names(map), (std::vector<std::string>{kUtcName, "Local Only", "No Offset", kOtherName,
                                                  "Shared Name", "Zulu Time", "apple time"}));
}

TEST(NewZone, NamesAreCheckedAgainstTheListWithoutRegardToCase) {
  const std::vector<std::string> listed = {kUtcName, kOtherName, "Zürich"};
  EXPECT_EQ(CheckNewName(listed, "coordinated universal time"), NameCheck::Exists);
  EXPECT_EQ(CheckNewName(listed, "other"), NameCheck::Exists);
  EXPECT_EQ(CheckNewName(listed, "ZÜRICH"), NameCheck::Exists);
  EXPECT_EQ(CheckNewName(listed, ""), NameCheck::Empty);
  EXPECT_EQ(CheckNewName(listed, "Mars\\Olympus"), NameCheck::Unstorable);
  EXPECT_EQ(CheckNewName(listed, "Mars"), NameCheck::Accepted);
}

TEST(NewZone, OffsetsAreNumbersOfAtMostOneDay) {
  EXPECT_EQ(ParseOffset("5.5"), 5.5);
  EXPECT_EQ(ParseOffset(" -24"), -24.0);
  try {
    ParseOffset("five");
    FAIL() << "not a number";
  } catch (const Platform::EConvertError& e) {
    EXPECT_STREQ(e.what(), "'five' is not a valid floating point value");
  }
  EXPECT_THROW(ParseOffset("1e300"), Platform::EConvertError);
  EXPECT_THROW(ParseOffset("24.5"), Platform::EConvertError);
}

TEST(NewZone, BiasesBecomeOffsetsEastOfUtc) {
  EXPECT_EQ(OffsetFromBias(300), -5.0);
  EXPECT_EQ(OffsetFromBias(-330), 5.5);
  EXPECT_EQ(OffsetFromBias(0), 0.0);
}

TEST_F(Catalogue, AStoredOffsetThatIsNoValidOffsetIsRefusedAndSaidSo) {
  std::vector<std::string> boxes;
  const auto previous = VIDodadaZadoVove::SetMessageBoxHandler(
      [&boxes](const std::string& text, const std::string&) { boxes.push_back(text); });
  StoreUserZone("Fine", 5.5);
  StoreUserZone("Not a number", std::nan(""));
  StoreUserZone("Endless", std::numeric_limits<double>::infinity());
  StoreUserZone("Too far", 25.0);
  const std::vector<Zone> zones = UserZones();
  VIDodadaZadoVove::SetMessageBoxHandler(previous);
  ASSERT_EQ(zones.size(), 1u);
  EXPECT_EQ(zones[0].name, "Fine");
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_NE(boxes[0].find("is not a valid timezone offset"), std::string::npos) << boxes[0];
}
