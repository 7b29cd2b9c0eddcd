#include "RegistryStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "TempDir.h"

namespace {

using Platform::ERegistryException;
using Platform::Hive;
using Platform::RegDataType;
using Platform::TRegistry;
using Strings = std::vector<std::string>;

const std::string kKey = "Software\\QSoft\\QSRedorodo";

// Rows of a query run on a hive file through a connection of its own, columns joined by '|'.
Strings Sql(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  Strings rows;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_exec(
        db, sql.c_str(),
        [](void* out, int n, char** values, char**) {
          std::string row;
          for (int i = 0; i < n; ++i) {
            row += (i > 0 ? "|" : "") + std::string(values[i] != nullptr ? values[i] : "NULL");
          }
          static_cast<Strings*>(out)->push_back(row);
          return 0;
        },
        &rows, nullptr);
  }
  sqlite3_close(db);
  return rows;
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ERegistryException& e) {
    return e.Message();
  }
  return "(no error)";
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  testsupport::ScopedRegistryDir dir_;
};

TEST_F(RegistryStoreTest, WritesTheDocumentedFileFormat) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  reg.WriteInteger("Dword", -1);
  reg.WriteString("Text", "abc");
  reg.WriteExpandString("Expand", "%HOME%");
  const unsigned char bytes[] = {1, 2};
  reg.WriteBinaryData("Binary", bytes, 2);
  reg.CloseKey();

  const std::string file = dir_.UserFile();
  EXPECT_EQ(Sql(file, "PRAGMA journal_mode"), Strings{"wal"});
  EXPECT_EQ(Sql(file, "SELECT id, parent, name FROM keys ORDER BY id"),
            (Strings{"1|NULL|", "2|1|Software", "3|2|QSoft", "4|3|QSRedorodo"}));
  EXPECT_EQ(Sql(file, "SELECT key, name, type, typeof(data), quote(data) FROM vals ORDER BY name"),
            (Strings{"4|Binary|3|blob|X'0102'", "4|Dword|4|integer|4294967295",
                     "4|Expand|2|text|'%HOME%'", "4|Text|1|text|'abc'"}));
  ASSERT_TRUE(reg.OpenKey(kKey, false));
  EXPECT_EQ(reg.ReadInteger("Dword"), -1);
  EXPECT_EQ(reg.ReadString("Expand"), "%HOME%");
  EXPECT_EQ(reg.GetDataSize("Text"), 4);  // the terminating zero counts, as in the registry
}

TEST_F(RegistryStoreTest, NamesKeepTheirCaseButCompareAndSortWithoutIt) {
  TRegistry reg;
  for (const char* sub : {"gamma", "Alpha", "beta"}) {
    ASSERT_TRUE(reg.OpenKey(kKey + "\\" + sub, true));
  }
  ASSERT_TRUE(reg.OpenKey("SOFTWARE\\qsoft\\qsredorodo", false));
  reg.WriteString("b", "1");
  reg.WriteString("C", "2");
  reg.WriteString("A", "3");
  reg.WriteString("a", "4");  // the same value: its name keeps the first spelling
  EXPECT_EQ(reg.GetKeyNames(), (Strings{"Alpha", "beta", "gamma"}));
  EXPECT_EQ(reg.GetValueNames(), (Strings{"A", "b", "C"}));
  EXPECT_EQ(reg.ReadString("A"), "4");
  EXPECT_TRUE(reg.KeyExists("software\\QSOFT\\QSRedorodo\\ALPHA"));
}

TEST_F(RegistryStoreTest, ReadsCheckTheStoredType) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  reg.WriteString("Text", "abc");
  reg.WriteInteger("Dword", 7);
  const unsigned char four[4] = {};
  reg.WriteBinaryData("Four", four, 4);
  char buffer[8];

  EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("Text"); }), "Invalid data type for 'Text'");
  EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("Absent"); }), "Failed to get data for 'Absent'");
  EXPECT_EQ(ErrorOf([&] { reg.ReadString("Dword"); }), "Invalid data type for 'Dword'");
  EXPECT_EQ(reg.ReadString("Absent"), "");
  EXPECT_EQ(ErrorOf([&] { reg.ReadBinaryData("Text", buffer, 8); }),
            "Invalid data type for 'Text'");
  EXPECT_EQ(ErrorOf([&] { reg.ReadBinaryData("Four", buffer, 3); }),
            "Invalid data type for 'Four'");
  EXPECT_EQ(reg.ReadBinaryData("Absent", buffer, 8), 0);
  EXPECT_EQ(reg.ReadBinaryData("Four", buffer, 8), 4);
  EXPECT_EQ(ErrorOf([&] { reg.ReadFloat("Four"); }), "Invalid data type for 'Four'");
  EXPECT_EQ(ErrorOf([&] { reg.ReadFloat("Dword"); }), "Invalid data type for 'Dword'");
  EXPECT_EQ(ErrorOf([&] { reg.ReadFloat("Absent"); }), "Failed to get data for 'Absent'");
  reg.WriteFloat("Real", -2.5);
  EXPECT_EQ(reg.ReadFloat("Real"), -2.5);
  EXPECT_EQ(reg.GetDataType("Real"), RegDataType::Binary);
  EXPECT_EQ(reg.GetDataType("Absent"), RegDataType::None);
  EXPECT_EQ(reg.GetDataSize("Absent"), -1);
}

TEST_F(RegistryStoreTest, DeletingAKeyTakesItsWholeSubtree) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKey + "\\List\\Deeper", true));
  reg.WriteString("x", "1");
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  reg.WriteString("kept", "1");
  reg.CloseKey();

  EXPECT_TRUE(reg.DeleteKey(kKey + "\\list"));
  EXPECT_FALSE(reg.KeyExists(kKey + "\\List\\Deeper"));
  EXPECT_FALSE(reg.DeleteKey(kKey + "\\List"));
  EXPECT_FALSE(reg.DeleteKey(""));  // never the hive root
  EXPECT_EQ(Sql(dir_.UserFile(), "SELECT count(*) FROM keys"), Strings{"4"});
  EXPECT_EQ(Sql(dir_.UserFile(), "SELECT name FROM vals"), Strings{"kept"});
}

std::string Chain(std::size_t depth) {
  std::string path = "k";
  for (std::size_t i = 1; i < depth; ++i) {
    path += "\\k";
  }
  return path;
}

TEST_F(RegistryStoreTest, KeysAreAtMost512LevelsDeepAndDeeperOldChainsStillGo) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(Chain(512), true));
  reg.CloseKey();
  EXPECT_EQ(ErrorOf([&] { reg.OpenKey(Chain(513), true); }),
            "Cannot create a key 513 levels deep: keys may be at most 512 levels deep");
  EXPECT_FALSE(reg.KeyExists(Chain(513)));
  EXPECT_TRUE(reg.DeleteKey("k"));
  EXPECT_EQ(Sql(dir_.UserFile(), "SELECT count(*) FROM keys"), Strings{"1"});

  // A chain made before the bound, deeper than SQLite follows a cascade of deletions
  // ("too many levels of trigger recursion" from about 1000 levels).
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  reg.WriteString("kept", "1");
  reg.CloseKey();
  Sql(dir_.UserFile(),
      "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 1500) "
      "INSERT INTO keys (id, parent, name) SELECT 1000 + n, "
      "CASE n WHEN 1 THEN (SELECT id FROM keys WHERE name = 'QSoft') ELSE 999 + n END, 'k' "
      "FROM c; INSERT INTO vals VALUES (2500, 'deep', 1, 'x')");
  ASSERT_TRUE(reg.KeyExists("Software\\QSoft\\" + Chain(1500)));
  EXPECT_TRUE(reg.DeleteKey("Software\\QSoft\\k"));
  EXPECT_FALSE(reg.KeyExists("Software\\QSoft\\k"));
  EXPECT_EQ(Sql(dir_.UserFile(), "SELECT count(*) FROM keys"), Strings{"4"});
  EXPECT_EQ(Sql(dir_.UserFile(), "SELECT name FROM vals"), Strings{"kept"});
}

TEST_F(RegistryStoreTest, NamesHoldingANulByteAreRefusedAndNeverStandForOthers) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  const std::string first("Host\0one", 8);
  const std::string second("Host\0two", 8);
  reg.WriteString("Host", "kept");
  EXPECT_EQ(ErrorOf([&] { reg.WriteString(first, "a"); }),
            "The value name 'Host\\0one' holds a NUL byte; names may not hold one");
  EXPECT_NE(ErrorOf([&] { reg.WriteInteger(second, 1); }), "(no error)");
  EXPECT_FALSE(reg.ValueExists(second));
  EXPECT_FALSE(reg.DeleteValue(second));
  EXPECT_EQ(reg.GetValueNames(), Strings{"Host"});
  EXPECT_EQ(reg.ReadString("Host"), "kept");

  EXPECT_EQ(ErrorOf([&] { reg.OpenKey(kKey + "\\" + first, true); }),
            "The key name 'Host\\0one' holds a NUL byte; names may not hold one");
  ASSERT_TRUE(reg.OpenKey(kKey + "\\Host", true));
  reg.CloseKey();
  EXPECT_FALSE(reg.OpenKey(kKey + "\\" + first, false));
  EXPECT_FALSE(reg.KeyExists(kKey + "\\" + second));
  EXPECT_FALSE(reg.DeleteKey(kKey + "\\" + second));
  EXPECT_TRUE(reg.KeyExists(kKey + "\\Host"));
  EXPECT_EQ(Sql(dir_.UserFile(), "SELECT count(*) FROM vals"), Strings{"1"});
}

TEST_F(RegistryStoreTest, AnAccessorsWritesAreOneTransactionCommittedByFlushOrClose) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  reg.WriteString("First", "1");
  const std::string count = "SELECT count(*) FROM vals";
  EXPECT_EQ(Sql(dir_.UserFile(), count), Strings{"0"});
  reg.FlushKey();
  EXPECT_EQ(Sql(dir_.UserFile(), count), Strings{"1"});
  reg.WriteString("Second", "2");
  EXPECT_EQ(Sql(dir_.UserFile(), count), Strings{"1"});
  reg.CloseKey();
  EXPECT_EQ(Sql(dir_.UserFile(), count), Strings{"2"});
}

TEST_F(RegistryStoreTest, AnUpdateSpansKeysAndIsAllOrNothing) {
  const std::string count = "SELECT count(*) FROM vals";
  {
    TRegistry reg;
    ASSERT_TRUE(reg.BeginUpdate());
    ASSERT_TRUE(reg.OpenKey(kKey + "\\A", true));
    reg.WriteString("a", "1");
    reg.FlushKey();  // not on its own inside an update
    ASSERT_TRUE(reg.OpenKey(kKey + "\\B", true));
    reg.WriteInteger("b", 2);
    EXPECT_TRUE(reg.DeleteKey(kKey + "\\A"));
    ASSERT_TRUE(reg.OpenKey(kKey + "\\C", true));
    reg.WriteString("c", "3");
    reg.CloseKey();
    EXPECT_EQ(Sql(dir_.UserFile(), count), Strings{"0"});
    reg.CommitUpdate();
  }
  EXPECT_EQ(Sql(dir_.UserFile(), "SELECT name FROM vals ORDER BY name"), (Strings{"b", "c"}));
  {
    TRegistry reg;
    ASSERT_TRUE(reg.BeginUpdate());
    ASSERT_TRUE(reg.OpenKey(kKey + "\\D", true));
    reg.WriteString("d", "4");
    EXPECT_TRUE(reg.DeleteKey(kKey + "\\B"));
  }  // dropped before its commit
  EXPECT_EQ(Sql(dir_.UserFile(), count), Strings{"2"});
  TRegistry reg;
  EXPECT_FALSE(reg.KeyExists(kKey + "\\D"));
  ASSERT_TRUE(reg.BeginUpdate());
  EXPECT_NE(ErrorOf([&] { reg.SetRootKey(Hive::LocalMachine); }), "(no error)");
  reg.RollbackUpdate();
  ASSERT_TRUE(reg.OpenKey(kKey, true));  // an ordinary accessor again
  reg.WriteString("e", "5");
  reg.CloseKey();
  EXPECT_EQ(Sql(dir_.UserFile(), count), Strings{"3"});
}

TEST_F(RegistryStoreTest, FilesArePrivateAndMadeOnlyWhenWritten) {
  const std::string folder = dir_.Path() + "/new/QSoft";
  setenv("QS_REGISTRY_DIR", folder.c_str(), 1);  // the guard restores it
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey(kKey, false));
  EXPECT_FALSE(reg.KeyExists(kKey));
  EXPECT_FALSE(std::filesystem::exists(folder));

  ASSERT_TRUE(reg.OpenKey(kKey, true));
  reg.WriteString("Password", "secret");
  reg.FlushKey();
  struct stat st {};
  for (const std::string name : {"/user.db", "/user.db-wal"}) {
    ASSERT_EQ(stat((folder + name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
  }
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(RegistryStoreTest, AHiveThatCannotBeMadeIsUnavailableWithoutError) {
  // Tests run as root, whom file modes do not stop: a folder stands where the file would be,
  // and a file where a folder would be needed.
  std::filesystem::create_directory(dir_.UserFile());
  std::ofstream(dir_.MachineFile()) << "x";
  const std::string blocked = dir_.MachineFile() + "/sub";
  for (auto [hive, folder] :
       {std::pair{Hive::CurrentUser, dir_.Path()}, std::pair{Hive::LocalMachine, blocked}}) {
    setenv("QS_REGISTRY_DIR", folder.c_str(), 1);
    TRegistry reg;
    reg.SetRootKey(hive);
    EXPECT_FALSE(reg.OpenKey(kKey, true));
    EXPECT_FALSE(reg.OpenKey(kKey, false));
    EXPECT_FALSE(reg.KeyExists(kKey));
    EXPECT_FALSE(reg.DeleteKey(kKey));
  }
}

TEST_F(RegistryStoreTest, ADamagedFileRaisesEveryTimeAndIsNeverWritten) {
  std::string garbage(8192, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) {
    garbage[i] = static_cast<char>((i * 7919 + 13) % 251);
  }
  std::ofstream(dir_.UserFile(), std::ios::binary) << garbage;
  TRegistry reg;
  const std::string error = "The settings file " + dir_.UserFile() +
                            " is damaged or not a settings file and is left as it is: file is "
                            "not a database";
  for (bool create : {false, true, false}) {
    EXPECT_EQ(ErrorOf([&] { reg.OpenKey(kKey, create); }), error);
  }
  EXPECT_EQ(ErrorOf([&] { reg.KeyExists(kKey); }), error);
  EXPECT_EQ(FileBytes(dir_.UserFile()), garbage);
  EXPECT_FALSE(std::filesystem::exists(dir_.UserFile() + "-wal"));

  // Once the damaged file is gone, nothing of it remains cached.
  std::filesystem::remove(dir_.UserFile());
  EXPECT_TRUE(reg.OpenKey(kKey, true));
}

TEST_F(RegistryStoreTest, AForeignOrDamagedDatabaseIsCheckedBeforeAnythingChanges) {
  // Another program's database: not even its journal mode may change.
  std::ofstream(dir_.UserFile()).close();
  Sql(dir_.UserFile(), "CREATE TABLE notes (text); INSERT INTO notes VALUES ('mine')");
  ASSERT_EQ(Sql(dir_.UserFile(), "PRAGMA journal_mode"), Strings{"delete"});
  const std::string foreign = FileBytes(dir_.UserFile());
  TRegistry reg;
  EXPECT_THROW(reg.OpenKey(kKey, true), Platform::EHiveUnusable);
  EXPECT_EQ(FileBytes(dir_.UserFile()), foreign);
  EXPECT_FALSE(std::filesystem::exists(dir_.UserFile() + "-wal"));
  std::filesystem::remove(dir_.UserFile());

  // A hive of ours with a damaged table: found when it is opened, not when a value is read.
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  for (int i = 0; i < 200; ++i) {
    reg.WriteString("v" + std::to_string(i), std::string(100, 'x'));
  }
  reg.CloseKey();
  Sql(dir_.UserFile(), "PRAGMA wal_checkpoint(TRUNCATE)");
  const Strings root =
      Sql(dir_.UserFile(), "SELECT rootpage FROM sqlite_master WHERE name = 'vals'");
  ASSERT_EQ(root.size(), 1u);
  {
    std::fstream file(dir_.UserFile(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp((std::stol(root[0]) - 1) * 4096);  // the page's header
    file << std::string(64, '\x5a');
  }
  EXPECT_THROW(reg.OpenKey(kKey, false), Platform::EHiveUnusable);
}

TEST_F(RegistryStoreTest, AFileReplacedUnderneathIsReadAfresh) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  reg.WriteString("Host", "old");
  reg.CloseKey();
  // A copy with another value, moved over the open store as a restored backup would be.
  const std::string copy = dir_.Path() + "/copy.db";
  Sql(dir_.UserFile(), "VACUUM INTO '" + copy + "'");
  Sql(copy, "UPDATE vals SET data = 'restored'");
  ASSERT_EQ(std::rename(copy.c_str(), dir_.UserFile().c_str()), 0);

  ASSERT_TRUE(reg.OpenKey(kKey, false));
  EXPECT_EQ(reg.ReadString("Host"), "restored");
}

TEST_F(RegistryStoreTest, ThreadsWritingAtOnceLoseNothing) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < 25; ++i) {
        TRegistry reg;
        if (reg.OpenKey(kKey, true)) {
          reg.WriteInteger("v" + std::to_string(t * 100 + i), i);
          reg.FlushKey();
        }
      }
    });
  }
  for (auto& writer : writers) {
    writer.join();
  }
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKey, false));
  EXPECT_EQ(reg.GetValueNames().size(), 100u);
}

TEST(RegistryHiveFilePathTest, FollowsTheEnvironment) {
  testsupport::ScopedRegistryDir dir;
  EXPECT_EQ(Platform::HiveFilePath(Hive::CurrentUser), dir.UserFile());
  EXPECT_EQ(Platform::HiveFilePath(Hive::LocalMachine), dir.MachineFile());

  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string savedXdg = xdg != nullptr ? xdg : "";
  unsetenv("QS_REGISTRY_DIR");
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(Platform::HiveFilePath(Hive::CurrentUser), "/cfg/QSoft/registry.db");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  if (!home.empty()) {
    EXPECT_EQ(Platform::HiveFilePath(Hive::CurrentUser), home + "/.config/QSoft/registry.db");
  }
  EXPECT_EQ(Platform::HiveFilePath(Hive::LocalMachine), "/var/lib/QSoft/registry.db");
  if (xdg != nullptr) {
    setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
