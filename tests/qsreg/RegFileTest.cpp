// Registry editor files: reading both versions, every malformed line, the round trip of
// every stored type, and an import that fails leaving the store untouched.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>

#include "RegistryStore.h"
#include "TempDir.h"
#include "regFile.h"
#include "regTransfer.h"

namespace {

using Platform::Hive;
using Platform::RegDataType;
using Platform::TRegistry;
using regfile::Key;
using regfile::Root;

std::string Utf16File(const std::string& text) {
  return "\xFF\xFE" + regfile::Utf8ToUtf16Le(text);
}

TEST(RegFileTest, ReadsEveryFormOfAVersion5FileInUtf16) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; brought over from Windows\r\n"
      "[HKEY_CURRENT_USER\\Software\\QSoft\\QSRedorodo]\r\n"
      "\"MSMHost\"=\"Gr\xC3\xBC\xC3\x9F \\\"e\\\" C:\\\\x\"\r\n"
      "@=\"default\"\r\n"
      "\"EnableSounds\" = dword:0000002A\r\n"
      "\"Blob\"=hex:01,02,\\\r\n"
      "  ff\r\n"
      "\"Path\"=hex(2):25,00,48,00,00,00\r\n"
      "\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
      "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"Empty\"=hex:\r\n"
      "\"Gone\"=-\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
      "[hkey_local_machine\\Software\\X]\r\n"
      "[HKEY_CLASSES_ROOT\\.txt]\r\n";
  const std::vector<Key> keys = regfile::Parse(Utf16File(text));
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_EQ(keys[0].root, Root::CurrentUser);
  EXPECT_EQ(keys[0].path, "Software\\QSoft\\QSRedorodo");
  const auto& v = keys[0].values;
  ASSERT_EQ(v.size(), 9u);
  EXPECT_EQ(v[0].data, "Gr\xC3\xBC\xC3\x9F \"e\" C:\\x");
  EXPECT_EQ(v[1].name, "");
  EXPECT_EQ(v[2].type, RegDataType::DWord);
  EXPECT_EQ(v[2].number, 42u);
  EXPECT_EQ(v[3].data, std::string("\x01\x02\xff"));
  EXPECT_EQ(v[4].type, RegDataType::ExpandString);
  EXPECT_EQ(v[4].data, "%H");
  EXPECT_EQ(v[5].type, RegDataType::Binary);  // kinds the store lacks stay bytes
  EXPECT_EQ(v[5].data, std::string("a\0\0\0\0\0", 6));
  EXPECT_EQ(v[6].data.size(), 8u);
  EXPECT_EQ(v[7].data, "");
  EXPECT_TRUE(v[8].remove);
  EXPECT_TRUE(keys[1].remove);
  EXPECT_EQ(keys[2].root, Root::LocalMachine);
  EXPECT_EQ(keys[3].root, Root::Other);
  EXPECT_EQ(keys[3].line, 17);
}

TEST(RegFileTest, ReadsRegedit4InTheAnsiPage) {
  const auto keys = regfile::Parse(
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"Name\"=\"Gr\xFC\xDF\x65 \x80\"\r\n"
      "\"Path\"=hex(2):25,48,00\r\n");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].values[0].data,
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x82\xAC");
  EXPECT_EQ(keys[0].values[1].data, "%H");
}

TEST(RegFileTest, EachMalformedLineStopsTheReadWithItsNumber) {
  const std::string head = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n";
  const struct {
    std::string file;
    int line;
    const char* says;
  } cases[] = {
      {"REGEDIT5\n", 1, "not a registry file"},
      {"Windows Registry Editor Version 5.00\n\"a\"=\"b\"\n", 2, "before the first key"},
      {head + "[HKEY_CURRENT_USER\\L\n", 3, "[KEY]"},
      {head + "[-HKEY_CURRENT_USER]\n", 3, "whole root"},
      {head + "[\\Software]\n", 3, "begin with its root"},
      {head + "\"a\" \"b\"\n", 3, "'=' expected"},
      {head + "\"a\"=\"b\\n\"\n", 3, "may follow a backslash"},
      {head + "\"a\"=\"b\n", 3, "closing quote"},
      {head + "\"a\"=\"b\" x\n", 3, "after the closing quote"},
      {head + "\"a\"=dword:123456789\n", 3, "dword:"},
      {head + "\"a\"=dword:12g\n", 3, "dword:"},
      {head + "\"a\"=hex:1,02\n", 3, "pairs of hex digits"},
      {head + "\"a\"=hex:01,,02\n", 3, "pairs of hex digits"},
      {head + "\"a\"=hex(z):01\n", 3, "hex(N)"},
      {head + "\"a\"=hex(2)01\n", 3, "':' expected"},
      {head + "\"a\"=text\n", 3, "the data must be"},
      {head + "\"ok\"=\"1\"\n\"a\"=hex:01,\\", 4, "ends inside"},
      {head + "garbage\n", 3, "neither"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    try {
      regfile::Parse(c.file);
      ADD_FAILURE() << "read without error";
    } catch (const regfile::ParseError& e) {
      EXPECT_EQ(e.Line(), c.line);
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(regfile::Parse(Utf16File(head) + "x"), regfile::ParseError);  // half a character
}

class RegFileStoreTest : public ::testing::Test {
 protected:
  testsupport::ScopedRegistryDir dir_;
};

void Fill(Hive hive) {
  TRegistry reg;
  reg.SetRootKey(hive);
  ASSERT_TRUE(reg.OpenKey("Software\\QSoft\\QSRedorodo", true));
  reg.WriteString("Text", "quote \" back \\ Gr\xC3\xBC\xC3\x9F\r\nnext line");
  reg.WriteString("", "the default");
  reg.WriteString("EmptyText", "");
  reg.WriteExpandString("Path", "%HOME%/sounds");
  reg.WriteInteger("All", -1);
  reg.WriteInteger("Zero", 0);
  std::string bytes;
  for (int i = 0; i < 100; ++i) {
    bytes += static_cast<char>(i * 7);
  }
  reg.WriteBinaryData("Font", bytes.data(), static_cast<int>(bytes.size()));
  reg.WriteBinaryData("Nothing", nullptr, 0);
  ASSERT_TRUE(reg.OpenKey("Software\\QSoft\\QSRedorodo\\VirtualTZList\\Mars Time", true));
  reg.WriteFloat("VirtualTZOffset", 2.5);
}

bool Same(const std::vector<Key>& a, const std::vector<Key>& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].path != b[i].path || a[i].values.size() != b[i].values.size()) {
      return false;
    }
    for (std::size_t j = 0; j < a[i].values.size(); ++j) {
      const auto &x = a[i].values[j], &y = b[i].values[j];
      if (x.name != y.name || x.type != y.type || x.data != y.data || x.number != y.number) {
        return false;
      }
    }
  }
  return true;
}

TEST_F(RegFileStoreTest, AnExportImportedElsewhereIsTheSameStore) {
  Fill(Hive::CurrentUser);
  const auto exported = regfile::Export(Hive::CurrentUser, "HKEY_CURRENT_USER", "Software\\QSoft");
  ASSERT_TRUE(exported);
  ASSERT_EQ(exported->size(), 4u);  // QSoft, QSRedorodo, VirtualTZList, Mars Time
  const std::string file = regfile::Write(*exported);
  ASSERT_EQ(file.substr(0, 4), std::string("\xFF\xFE"
                                           "W\0",
                                           4));
  const std::string text = regfile::Utf16LeToUtf8(file.substr(2));
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
  }

  testsupport::ScopedRegistryDir other;  // a fresh store, as on the new computer
  const regfile::ImportResult result = regfile::Import(regfile::Parse(file));
  EXPECT_EQ(result.keysWritten, 4);
  EXPECT_EQ(result.valuesWritten, 9);
  const auto again = regfile::Export(Hive::CurrentUser, "HKEY_CURRENT_USER", "Software\\QSoft");
  ASSERT_TRUE(again);
  EXPECT_TRUE(Same(*exported, *again)) << regfile::Utf16LeToUtf8(regfile::Write(*again));
  EXPECT_FALSE(regfile::Export(Hive::CurrentUser, "HKEY_CURRENT_USER", "Software\\None"));
}

TEST_F(RegFileStoreTest, ImportDeletesSkipsAndCountsAndAFailureWritesNothing) {
  Fill(Hive::CurrentUser);
  const auto keys = regfile::Parse(
      "Windows Registry Editor Version 5.00\n"
      "[-HKEY_CURRENT_USER\\Software\\QSoft\\QSRedorodo\\VirtualTZList]\n"
      "[HKEY_CURRENT_USER\\Software\\QSoft\\QSRedorodo]\n\"Text\"=-\n\"New\"=\"1\"\n"
      "[HKEY_USERS\\.DEFAULT]\n\"x\"=\"y\"\n"
      "[HKEY_LOCAL_MACHINE\\Software\\QSoft]\n\"M\"=dword:1\n");
  {
    // The machine hive cannot be written: the user hive stays as it was.
    std::filesystem::create_directory(dir_.MachineFile());
    EXPECT_THROW(regfile::Import(keys), std::exception);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\QSoft\\QSRedorodo", false));
    EXPECT_TRUE(reg.ValueExists("Text"));
    EXPECT_FALSE(reg.ValueExists("New"));
    EXPECT_TRUE(reg.KeyExists("Software\\QSoft\\QSRedorodo\\VirtualTZList"));
    std::filesystem::remove(dir_.MachineFile());
  }
  const regfile::ImportResult result = regfile::Import(keys);
  EXPECT_EQ(result.keysWritten, 2);
  EXPECT_EQ(result.valuesWritten, 2);
  EXPECT_EQ(result.keysDeleted, 1);
  EXPECT_EQ(result.valuesDeleted, 1);
  ASSERT_EQ(result.skipped.size(), 1u);
  EXPECT_NE(result.skipped[0].find("line 6: [HKEY_USERS\\.DEFAULT]"), std::string::npos);
  TRegistry reg;
  EXPECT_FALSE(reg.KeyExists("Software\\QSoft\\QSRedorodo\\VirtualTZList"));
  reg.SetRootKey(Hive::LocalMachine);
  ASSERT_TRUE(reg.OpenKey("Software\\QSoft", false));
  EXPECT_EQ(reg.ReadInteger("M"), 1);
}

// Files may grow to at most limit bytes while the guard lives; a write beyond fails with
// EFBIG, as on a full disk, instead of ending the process.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t limit) {
    oldSignal_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit now = old_;
    now.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &now);
  }
  ~ScopedFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldSignal_);
  }

 private:
  rlimit old_{};
  void (*oldSignal_)(int);
};

Key KeyWith(Root root, const std::string& path, const std::string& name, std::string data) {
  Key key;
  key.root = root;
  key.rootName = root == Root::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
  key.path = path;
  regfile::Value value;
  value.name = name;
  value.type = RegDataType::Binary;
  value.data = std::move(data);
  key.values.push_back(value);
  return key;
}

bool HasValue(Hive hive, const std::string& name) {
  TRegistry reg;
  reg.SetRootKey(hive);
  return reg.OpenKey("Software\\QSoft", false) && reg.ValueExists(name);
}

TEST_F(RegFileStoreTest, AHiveThatFailsToCommitLeavesTheOtherAsItWasOrIsNamed) {
  const std::string big(1024 * 1024, 'x');  // more than the limit below lets a file take
  {
    // The machine hive fails on its way to the disk: the user's is not written either.
    const std::vector<Key> keys = {KeyWith(Root::CurrentUser, "Software\\QSoft", "New", "1"),
                                   KeyWith(Root::LocalMachine, "Software\\QSoft", "Big", big)};
    ScopedFileSizeLimit limit(256 * 1024);
    EXPECT_THROW(regfile::Import(keys), std::exception);
  }
  EXPECT_FALSE(HasValue(Hive::CurrentUser, "New"));
  EXPECT_FALSE(HasValue(Hive::LocalMachine, "Big"));

  // Only the user's hive fails, after the machine's was written: the failure says so.
  const std::vector<Key> keys = {KeyWith(Root::CurrentUser, "Software\\QSoft", "Big", big),
                                 KeyWith(Root::LocalMachine, "Software\\QSoft", "M", "1")};
  std::string message;
  try {
    ScopedFileSizeLimit limit(256 * 1024);
    regfile::Import(keys);
  } catch (const regfile::PartialImport& e) {
    message = e.what();
  }
  EXPECT_EQ(message.find("the machine hive " + dir_.MachineFile() +
                         " was written (1 key and 1 value), but the current user's hive " +
                         dir_.UserFile() + " could not be: "),
            0u)
      << message;
  EXPECT_NE(message.find("; nothing was written to it"), std::string::npos) << message;
  EXPECT_TRUE(HasValue(Hive::LocalMachine, "M"));
  EXPECT_FALSE(HasValue(Hive::CurrentUser, "Big"));
}

TEST_F(RegFileStoreTest, AKeyTooDeepOrANameWithANulStopsTheWholeImport) {
  std::string deep = "[HKEY_CURRENT_USER\\Software";
  for (int i = 0; i < 600; ++i) {
    deep += "\\k";
  }
  const std::string head =
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\QSoft]\n"
      "\"First\"=\"1\"\n";
  for (const std::string& tail :
       {deep + "]\n", std::string("[HKEY_CURRENT_USER\\Software\\QSoft]\n\"A") +
                          std::string(1, '\0') + "B\"=\"2\"\n"}) {
    const std::vector<Key> keys = regfile::Parse(Utf16File(head + tail));
    EXPECT_THROW(regfile::Import(keys), Platform::ERegistryException);
    EXPECT_FALSE(HasValue(Hive::CurrentUser, "First"));
    EXPECT_FALSE(HasValue(Hive::CurrentUser, "A"));
  }
}

// Runs an action on a thread with a small stack, as a deep walk on the stack would need
// more than this.
void OnSmallStack(std::function<void()> action) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* f) -> void* {
                  (*static_cast<std::function<void()>*>(f))();
                  return nullptr;
                },
                &action),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

TEST_F(RegFileStoreTest, AChainOfKeysDeeperThanTheStackTakesExports) {
  Fill(Hive::CurrentUser);
  // Made before keys had a bound on their depth; nothing makes such a chain now.
  constexpr int kDepth = 1500;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(dir_.UserFile().c_str(), &db), SQLITE_OK);
  const std::string sql =
      "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < " +
      std::to_string(kDepth) +
      ") INSERT INTO keys (id, parent, name) SELECT 1000 + n, "
      "CASE n WHEN 1 THEN (SELECT id FROM keys WHERE name = 'QSoft') ELSE 999 + n END, 'k' "
      "FROM c";
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);

  std::optional<std::vector<Key>> exported;
  OnSmallStack([&] {
    exported = regfile::Export(Hive::CurrentUser, "HKEY_CURRENT_USER", "Software\\QSoft\\k");
  });
  ASSERT_TRUE(exported);
  ASSERT_EQ(exported->size(), static_cast<std::size_t>(kDepth));
  EXPECT_EQ(exported->back().path.size(), std::string("Software\\QSoft").size() + 2 * kDepth);
}

}  // namespace
