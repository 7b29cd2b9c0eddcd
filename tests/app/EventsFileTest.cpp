#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "Exceptions.h"
#include "TempDir.h"
#include "eventsFile.h"

using namespace events_file;

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(EventsFileText, BuildsTheLineOfAnArmedItemByteForByte) {
  std::string line;
  const std::pair<const char*, int> fields[] = {{"1", 0},
                                                {"Dentist", 0},
                                                {"2006-05-01 14:00:00", 1},
                                                {"Coordinated Universal Time", 0},
                                                {"10", 0},
                                                {"Y", 0},
                                                {"N", 0},
                                                {"N", 0},
                                                {"N", 0}};
  for (const auto& [text, object] : fields) {
    AppendField(line, text, object);
  }
  EXPECT_EQ(line,
            "1|0|Dentist|0|2006-05-01 14:00:00|1|Coordinated Universal Time|0|10|0|Y|0|N|0|N|0|N|"
            "0|");
  EXPECT_EQ(JoinLines({line, ""}), line + "\r\n\r\n");
  EXPECT_EQ(JoinLines({}), "");
}

TEST(EventsFileText, SplitsLinesWhateverTheirEnds) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(SplitLines("a\r\nb\r\n"), (Lines{"a", "b"}));
  EXPECT_EQ(SplitLines("a\nb\n"), (Lines{"a", "b"}));
  EXPECT_EQ(SplitLines("a\r\nb"), (Lines{"a", "b"}));
  EXPECT_EQ(SplitLines("a\rb\r"), (Lines{"a", "b"}));
  EXPECT_EQ(SplitLines("a\r\n\r\nb\n\nc"), (Lines{"a", "", "b", "", "c"}));
  EXPECT_EQ(SplitLines("\r\n"), (Lines{""}));
  EXPECT_EQ(SplitLines(""), Lines{});
  // Bytes that are not UTF-8 pass through untouched.
  EXPECT_EQ(SplitLines("caf\xe9|0|\xff\xfe\r\n"), (Lines{"caf\xe9|0|\xff\xfe"}));
}

TEST(EventsFileText, ReadsObjectsAsIntegersOrZero) {
  EXPECT_EQ(ObjectFromField("2"), 2);
  EXPECT_EQ(ObjectFromField("-7"), -7);
  EXPECT_EQ(ObjectFromField("+3"), 3);
  EXPECT_EQ(ObjectFromField(""), 0);
  EXPECT_EQ(ObjectFromField("x"), 0);
  EXPECT_EQ(ObjectFromField("1x"), 0);
  EXPECT_EQ(ObjectFromField("99999999999999999999999"), 0);
}

TEST(EventsFileDisk, ReplacesTheFileAndLeavesNoTemporaryBehind) {
  testsupport::TempDir dir;
  const std::string path = dir.File("QSEvents.C-D");
  std::string bytes;
  EXPECT_FALSE(ReadFile(path, bytes));

  WriteFileAtomically(path, "first\r\n");
  ::chmod(path.c_str(), 0640);
  WriteFileAtomically(path, "second\r\n");
  ASSERT_TRUE(ReadFile(path, bytes));
  EXPECT_EQ(bytes, "second\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "a save keeps the file's permissions";

  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST(EventsFileDisk, AFailedSaveSaysSoAndKeepsTheOldFile) {
  testsupport::TempDir dir;
  const std::string path = dir.File("QSEvents.C-D");
  WriteFileAtomically(path, "kept\r\n");

  // A folder that does not exist cannot take the temporary file.
  EXPECT_THROW(WriteFileAtomically(dir.File("missing/QSEvents.C-D"), "x"), Platform::Exception);

  // A directory in the file's place cannot be replaced by a file.
  const std::string blocked = dir.File("blocked");
  std::filesystem::create_directory(blocked);
  std::filesystem::create_directory(blocked + "/inner");
  EXPECT_THROW(WriteFileAtomically(blocked, "x"), Platform::Exception);
  EXPECT_TRUE(std::filesystem::is_directory(blocked + "/inner"));

  EXPECT_EQ(Slurp(path), "kept\r\n");
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 2) << "no temporary file is left after a failure";
}
