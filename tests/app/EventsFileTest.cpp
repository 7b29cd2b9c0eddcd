#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <filesystem>
#include <fstream>

#include "CommonCodeLite.h"
#include "Exceptions.h"
#include "TempDir.h"
#include "events/eventsFile.h"

using namespace events_file;

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Entries(const std::string& folder) {
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
    ++entries;
  }
  return entries;
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
  // Lone CRs before, between and after the LFs: each line end counts once.
  EXPECT_EQ(SplitLines("a\rb\rc\r\nd\ne\rf\n\rg"), (Lines{"a", "b", "c", "d", "e", "f", "", "g"}));
  EXPECT_EQ(SplitLines(""), Lines{});
  // Bytes that are not UTF-8 pass through untouched.
  EXPECT_EQ(SplitLines("caf\xe9|0|\xff\xfe\r\n"), (Lines{"caf\xe9|0|\xff\xfe"}));
}

// The start-up's one-pass cut gives what the lines cut one by one give.
TEST(EventsFileText, FieldLinesCutAsLinesAndThenFields) {
  for (const std::string bytes :
       {"", "\r\n", "a|0|b|1|\r\n", "|x||\n\r|\r\r\n\n", "a|b\r\n\r\nc|d|", "no end|at all"}) {
    std::vector<std::vector<std::string>> expected;
    for (const std::string& line : SplitLines(bytes)) {
      expected.push_back(
          VIDodadaZadoVove::GetDelimitedValues(line, "|", -1, -1, false, true, false));
    }
    std::vector<std::vector<std::string>> cut;
    FieldLines lines(bytes);
    const FieldLines moved = std::move(lines);  // the views go with the bytes
    for (std::size_t i = 0; i < moved.size(); ++i) {
      std::vector<std::string>& fields = cut.emplace_back();
      for (std::size_t k = 0; k < moved[i].size(); ++k) {
        fields.emplace_back(moved[i][k]);
      }
    }
    EXPECT_EQ(cut, expected) << bytes;
  }
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

TEST(EventsFileDisk, AFailedSaveOverTheFileSaysSoAndKeepsIt) {
  testsupport::TempDir dir;
  const std::string path = dir.File("QSEvents.C-D");
  WriteFileAtomically(path, "kept\r\n");

  // A disk that fills part-way: the process may write no more than a few bytes.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 8;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(WriteFileAtomically(path, std::string(4096, 'x')), Platform::Exception);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(Slurp(path), "kept\r\n");
  EXPECT_EQ(Entries(dir.Path()), 1) << "no temporary file is left after a failure";
}

TEST(EventsFileDisk, OnlyRegularFilesAreReadOrWrittenAndLinksStayLinks) {
  testsupport::TempDir dir;
  std::string bytes;
  // A FIFO neither blocks the read nor is replaced; a link to a device is refused.
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(ReadFile(fifo, bytes), Platform::Exception);
  EXPECT_THROW(WriteFileAtomically(fifo, "x"), Platform::Exception);
  const std::string zero = dir.File("zero");
  std::filesystem::create_symlink("/dev/zero", zero);
  EXPECT_THROW(ReadFile(zero, bytes), Platform::Exception);
  EXPECT_THROW(WriteFileAtomically(zero, "x"), Platform::Exception);
  EXPECT_TRUE(std::filesystem::is_symlink(zero));
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));

  // A link to a file in another folder: the target is replaced there, the link kept.
  std::filesystem::create_directory(dir.File("real"));
  const std::string target = dir.File("real/QSEvents.C-D");
  WriteFileAtomically(target, "old\r\n");
  const std::string link = dir.File("QSEvents.C-D");
  std::filesystem::create_symlink("real/QSEvents.C-D", link);
  WriteFileAtomically(link, "new\r\n");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Slurp(target), "new\r\n");
  EXPECT_EQ(Entries(dir.File("real")), 1);
}

TEST(EventsFileDisk, TemporariesOfAKilledSaveGoAtTheNextStart) {
  testsupport::TempDir dir;
  const std::string path = dir.File("QSEvents.C-D");
  WriteFileAtomically(path, "kept\r\n");
  // No process has an id this high; process 1 always runs.
  for (const char* name : {".QSEvents.C-D.999999999.0.tmp", ".QSEvents.C-D.1.0.tmp",
                           ".QSEvents.C-D.x.0.tmp", ".Other.999999999.0.tmp", "notes.tmp"}) {
    std::ofstream(dir.File(name)) << "partial";
  }
  EXPECT_EQ(RemoveStaleTemporaries(path), 1);
  EXPECT_FALSE(std::filesystem::exists(dir.File(".QSEvents.C-D.999999999.0.tmp")));
  EXPECT_EQ(Entries(dir.Path()), 5);
  EXPECT_EQ(Slurp(path), "kept\r\n");
}
