// Items from scripts: the rules of a command's item and line, the options, and the built
// program run as a script runs it, with and without a program running on the file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "TempDir.h"
#include "commandLine.h"
#include "desktop/singleInstance.h"
#include "events/itemCommands.h"

namespace {

using item_commands::Item;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

const time_zones::ZoneMap kZones = {
    {"Coordinated Universal Time", 0.0}, {"Europe/Berlin", 1.0}, {"OTHER", 0.0}};

Item Dentist() {
  Item item;
  item.id = "7";
  item.description = "Dentist";
  item.endText = "2030-05-01 14:00:00";
  item.zone = "Europe/Berlin";
  return item;
}

}  // namespace

TEST(ItemCommands, AnItemsLineAndWhatIsRefused) {
  Item item = Dentist();
  EXPECT_EQ(item_commands::Check(item, kZones), "");
  EXPECT_EQ(item_commands::Line(item),
            "7|0|Dentist|0|2030-05-01 14:00:00|1|Europe/Berlin|0|10|0||0||0||0||0|");
  ASSERT_EQ(item_commands::SetChannels("email,sound", item), "");
  item.rule = "FREQ=WEEKLY;BYDAY=TU";
  const std::string line = item_commands::Line(item);
  EXPECT_EQ(line,
            "7|0|Dentist|0|2030-05-01 14:00:00|1|Europe/Berlin|0|10|0|Y|0||0|Y|0||0|"
            "FREQ=WEEKLY;BYDAY=TU|0|");
  const Item back = item_commands::FromLine(line);
  EXPECT_EQ(item_commands::Line(back), line);
  EXPECT_EQ(back.state, 1);

  const auto refusal = [](void (*change)(Item&)) {
    Item wrong = Dentist();
    change(wrong);
    return item_commands::Check(wrong, kZones);
  };
  EXPECT_EQ(refusal([](Item& i) { i.endText = "2030-02-30 14:00:00"; }),
            "The time '2030-02-30 14:00:00' does not read as \"YYYY-MM-DD hh:nn:ss\"");
  EXPECT_NE(refusal([](Item& i) { i.endText = "tomorrow"; }), "");
  EXPECT_NE(refusal([](Item& i) { i.endText = "2030-05-01 24:00:00"; }), "");
  EXPECT_NE(refusal([](Item& i) { i.endText = "2030-5-01 14:00:00 "; }), "");
  EXPECT_EQ(refusal([](Item& i) { i.zone = "Mars/Olympus"; }),
            "The zone 'Mars/Olympus' is not one of the zones Vazudovu knows");
  EXPECT_NE(refusal([](Item& i) { i.zone = "OTHER"; }), "") << "a choice, not a zone";
  EXPECT_NE(refusal([](Item& i) { i.warnMinutes = "-5"; }), "");
  EXPECT_NE(refusal([](Item& i) { i.description = "a|b"; }), "") << "would shift the fields";
  EXPECT_NE(refusal([](Item& i) { i.description = "two\nlines"; }), "");
  EXPECT_NE(refusal([](Item& i) { i.rule = "FREQ=SECONDLY"; }), "");
  Item bad;
  EXPECT_NE(item_commands::SetChannels("sound,fax", bad), "");
}

TEST(ItemCommands, AddAndRemoveKeepEveryOtherLineAsItWas) {
  // Lines of another build and of odd shapes: a future pair, no fields, a bare "|".
  const std::vector<std::string> before = {
      "12|0|Old|0|2006-05-01 12:00:00|2|Etc/UTC|0|10|0|Y|0|N|0|N|0|N|0|||2026-01-01 "
      "10:00:00|0|x|9|",
      "", "abc|7|", "x7|0|Other|0|"};
  std::vector<std::string> lines = before;
  Item item = Dentist();
  item.id.clear();
  ASSERT_EQ(item_commands::Add(lines, item, false), "");
  EXPECT_EQ(item.id, "13") << "one past the largest number";
  item.id = "abc";
  EXPECT_EQ(item_commands::Add(lines, item, false), "An item with the ID 'abc' is there already");
  EXPECT_EQ(lines.size(), 5u);
  ASSERT_EQ(item_commands::Add(lines, item, true), "");
  EXPECT_EQ(item.id, "14");
  EXPECT_EQ(item_commands::Remove(lines, "13"), 1u);
  EXPECT_EQ(item_commands::Remove(lines, "14"), 1u);
  EXPECT_EQ(item_commands::Remove(lines, "nothing"), 0u);
  EXPECT_EQ(lines, before);
}

TEST(ItemCommands, ListsAsTabsAndAsJsonWhateverTheTexts) {
  const std::string bytes =
      "a\t\"b\\|0|Say \"hi\"\x01\xff|0|2030-05-01 14:00:00|2|Etc/UTC|0|5|0|Y|0|N|0|N|0|Y|0|"
      "FREQ=DAILY|0|\r\n"
      "\r\n";
  EXPECT_EQ(item_commands::List(bytes, false),
            "a \"b\\\t2030-05-01 14:00:00\tEtc/UTC\t5\tnotified\tsound,program\tFREQ=DAILY\n"
            "\t\t\t\tnew\t\t\n");
  const QJsonDocument json =
      QJsonDocument::fromJson(QByteArray::fromStdString(item_commands::List(bytes, true)));
  ASSERT_TRUE(json.isArray());
  ASSERT_EQ(json.array().size(), 2);
  const QJsonObject first = json.array()[0].toObject();
  EXPECT_EQ(first["id"].toString(), "a\t\"b\\");
  EXPECT_EQ(first["description"].toString(), QString::fromUtf8("Say \"hi\"\x01\xEF\xBF\xBD"));
  EXPECT_EQ(first["channels"].toArray(), (QJsonArray{"sound", "program"}));
  EXPECT_EQ(first["repeat"].toString(), "FREQ=DAILY");
  EXPECT_EQ(item_commands::List("", true), "[]\n");
}

TEST(CommandLine, ItemCommandsAndTheirMistakes) {
  const auto parse = [](QStringList arguments) {
    arguments.prepend("vazudovu");
    return command_line::Parse(arguments);
  };
  const command_line::Outcome add =
      parse({"--add", "Dentist", "--at", "2030-05-01 14:00:00", "--via", "sound", "--id", "d"});
  EXPECT_EQ(add.exitCode, -1);
  EXPECT_EQ(add.command, command_line::Command::Add);
  EXPECT_EQ(add.description, "Dentist");
  EXPECT_EQ(add.at, "2030-05-01 14:00:00");
  EXPECT_EQ(add.id, "d");
  EXPECT_TRUE(parse({"--list", "--json"}).json);
  EXPECT_EQ(parse({"--remove", "d"}).target, "d");
  for (const QStringList& wrong :
       {QStringList{"--add", "x"}, QStringList{"--list", "--at", "2030-05-01 14:00:00"},
        QStringList{"--remove", "d", "--list"}, QStringList{"--json"},
        QStringList{"--add", "x", "--at", "2030-05-01 14:00:00", "--via", "fax"}}) {
    const command_line::Outcome out = parse(wrong);
    EXPECT_EQ(out.exitCode, 2) << wrong.join(' ').toStdString();
    EXPECT_NE(out.error.find("Usage: vazudovu"), std::string::npos) << out.error;
  }
  EXPECT_NE(parse({"--help"}).output.find("--import-ics <FILE>"), std::string::npos);
}

namespace {

struct Ran {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// The built program on the test's events file, with no display to be had.
class ProgramFixture : public ::testing::Test {
 protected:
  ProgramFixture() {
    std::filesystem::create_directory(runtime_.Path() + "/run");
    std::filesystem::permissions(runtime_.Path() + "/run", std::filesystem::perms::owner_all);
  }

  Ran Command(QStringList arguments) const {
    arguments.prepend(QString::fromStdString(events_));
    arguments.prepend("--events-file");
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "no-such-platform");  // a display would end it at once
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    process.setProcessEnvironment(env);
    process.start(VAZUDOVU_EXE, arguments);
    Ran run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit) {
      run.exitCode = process.exitCode();
    }
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
  }

  // The program itself on the events file, on the offscreen platform.
  void StartProgram(QProcess& program) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(VAZUDOVU_EXE, {"--events-file", QString::fromStdString(events_)});
  }

  testsupport::ScopedRegistryDir registry_;
  testsupport::TempDir runtime_;
  testsupport::ScopedEnv runtimeEnv_{"XDG_RUNTIME_DIR", runtime_.Path() + "/run"};
  testsupport::TempDir files_;
  const std::string events_ = files_.File("QSEvents.C-D");
};

constexpr char kKept[] =
    "x|0|Kept|0|2006-05-01 12:00:00|2|Etc/UTC|0|10|0|N|0|N|0|N|0|N|0||0||0|later|9|\r\n";

}  // namespace

TEST_F(ProgramFixture, AddListAndRemoveOnTheFileWhenNoProgramRuns) {
  std::ofstream(events_, std::ios::binary) << kKept;
  const Ran first =
      Command({"--add", "Dentist", "--at", "2030-05-01 14:00:00", "--zone", "Europe/Berlin",
               "--warn", "30", "--via", "sound,email", "--repeat", "FREQ=YEARLY"});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(first.out, "1\n");
  const Ran second = Command({"--add", "Call Bob", "--at", "2030-05-02 09:00:00", "--id", "bob"});
  ASSERT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(second.out, "bob\n");
  EXPECT_EQ(Command({"--add", "Again", "--at", "2030-05-02 09:00:00", "--id", "bob"}).exitCode, 1);

  const Ran list = Command({"--list"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  std::istringstream lines(list.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "x\t2006-05-01 12:00:00\tEtc/UTC\t10\tnotified\t\t");
  std::getline(lines, line);
  EXPECT_EQ(line, "1\t2030-05-01 14:00:00\tEurope/Berlin\t30\tarmed\tsound,email\tFREQ=YEARLY");
  std::getline(lines, line);
  EXPECT_EQ(line.substr(0, line.find('\t', 4)), "bob\t2030-05-02 09:00:00") << line;
  const std::string defaults = "\t10\tarmed\t\t";
  EXPECT_EQ(line.substr(line.size() - defaults.size()), defaults) << "Add's defaults";
  const QJsonDocument json =
      QJsonDocument::fromJson(QByteArray::fromStdString(Command({"--list", "--json"}).out));
  ASSERT_EQ(json.array().size(), 3);
  EXPECT_EQ(json.array()[2].toObject()["description"].toString(), "Call Bob");

  EXPECT_EQ(Command({"--remove", "1"}).exitCode, 0);
  EXPECT_EQ(Command({"--remove", "bob"}).exitCode, 0);
  const Ran missing = Command({"--remove", "bob"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "vazudovu: No item has the ID 'bob'\n");
  EXPECT_EQ(Slurp(events_), kKept) << "the other item, byte for byte";
}

TEST_F(ProgramFixture, ATimeThatDoesNotReadOrAnUnknownZoneIsOneLineAndNoChange) {
  std::ofstream(events_, std::ios::binary) << kKept;
  const Ran time = Command({"--add", "Dentist", "--at", "2030-13-01 14:00:00"});
  EXPECT_EQ(time.exitCode, 1);
  EXPECT_EQ(time.out, "");
  EXPECT_EQ(time.err,
            "vazudovu: The time '2030-13-01 14:00:00' does not read as \"YYYY-MM-DD hh:nn:ss\"\n");
  const Ran zone =
      Command({"--add", "Dentist", "--at", "2030-12-01 14:00:00", "--zone", "Nowhere"});
  EXPECT_EQ(zone.exitCode, 1);
  EXPECT_EQ(zone.err, "vazudovu: The zone 'Nowhere' is not one of the zones Vazudovu knows\n");
  const Ran usage = Command({"--add", "Dentist"});
  EXPECT_EQ(usage.exitCode, 2);
  EXPECT_EQ(Slurp(events_), kKept);
}

TEST_F(ProgramFixture, TenAddsAtOnceAllArrive) {
  std::vector<std::unique_ptr<QProcess>> processes;
  for (int k = 0; k < 10; ++k) {
    auto& process = processes.emplace_back(std::make_unique<QProcess>());
    process->start(VAZUDOVU_EXE, {"--events-file", QString::fromStdString(events_), "--add",
                                  QString("item %1").arg(k), "--at", "2030-05-01 14:00:00"});
  }
  std::set<std::string> ids;
  for (auto& process : processes) {
    ASSERT_TRUE(process->waitForFinished(60000));
    EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
    ids.insert(process->readAllStandardOutput().trimmed().toStdString());
  }
  EXPECT_EQ(ids.size(), 10u) << "each its own ID";
  const Ran list = Command({"--list"});
  std::set<std::string> listed;
  std::istringstream lines(list.out);
  for (std::string line; std::getline(lines, line);) {
    listed.insert(line.substr(0, line.find('\t')));
  }
  EXPECT_EQ(listed, ids);
}

TEST_F(ProgramFixture, ThroughTheProgramRunningOnTheFile) {
  std::ofstream(events_, std::ios::binary) << kKept;
  QProcess program;
  StartProgram(program);
  ASSERT_TRUE(program.waitForStarted(10000));
  const std::string socket = SingleInstance::SocketPath(events_);
  ASSERT_TRUE(QTest::qWaitFor([&socket] { return std::filesystem::is_socket(socket); }, 30000))
      << "the program listens";

  const Ran add = Command({"--add", "Dentist", "--at", "2030-05-01 14:00:00", "--zone",
                           "Europe/Berlin", "--via", "messenger", "--repeat", "FREQ=DAILY"});
  ASSERT_EQ(add.exitCode, 0) << add.err;
  EXPECT_EQ(add.out, "1\n");
  EXPECT_EQ(Slurp(events_),
            std::string(kKept) +
                "1|0|Dentist|0|2030-05-01 14:00:00|1|Europe/Berlin|0|10|0||0|Y|0||0||0|"
                "FREQ=DAILY|0|\r\n")
      << "saved by the window, armed by its own rule";
  const Ran taken = Command({"--add", "Dup", "--at", "2030-05-01 14:00:00", "--id", "x"});
  EXPECT_EQ(taken.exitCode, 1);
  EXPECT_EQ(taken.err, "vazudovu: An item with the ID 'x' is there already\n");
  EXPECT_EQ(Command({"--remove", "1"}).exitCode, 0);
  EXPECT_EQ(Slurp(events_), kKept);
  EXPECT_EQ(Command({"--remove", "1"}).exitCode, 1);

  program.terminate();
  EXPECT_TRUE(program.waitForFinished(30000));
  EXPECT_EQ(Slurp(events_), kKept);
}

namespace {

// Whether the process has the file open.
bool HasOpen(qint64 pid, const std::string& path) {
  std::error_code ec;
  for (const auto& fd :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    if (std::filesystem::read_symlink(fd.path(), ec) == path) {
      return true;
    }
  }
  return false;
}

}  // namespace

TEST_F(ProgramFixture, AStartWaitsForACommandHoldingTheLockInsteadOfLeaving) {
  std::ofstream(events_, std::ios::binary) << kKept;
  // The lock as a command without a running program holds it: marked, then taken.
  const std::string lockPath = SingleInstance::LockPath(events_);
  const int lock = ::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lock, 0);
  struct flock mark {};
  mark.l_type = F_RDLCK;
  mark.l_whence = SEEK_SET;
  mark.l_len = 1;
  ASSERT_EQ(::fcntl(lock, F_SETLK, &mark), 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);

  QProcess program;
  StartProgram(program);
  ASSERT_TRUE(program.waitForStarted(10000));
  // The start has come to the lock (or has left, which is the fault).
  const qint64 pid = program.processId();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return program.state() == QProcess::NotRunning || HasOpen(pid, lockPath); }, 30000));
  ::close(lock);

  const std::string socket = SingleInstance::SocketPath(events_);
  EXPECT_TRUE(QTest::qWaitFor([&socket] { return std::filesystem::is_socket(socket); }, 30000))
      << "the program runs once the command is done";
  program.terminate();
  EXPECT_TRUE(program.waitForFinished(30000));
}

TEST_F(ProgramFixture, ExportedItemsImportAsTheSameAndOtherCalendarsImport) {
  ASSERT_EQ(Command({"--add", "Dentist", "--at", "2030-05-01 14:00:00", "--zone", "Europe/Berlin",
                     "--warn", "25", "--via", "sound,program", "--repeat", "FREQ=MONTHLY;COUNT=3"})
                .exitCode,
            0);
  ASSERT_EQ(Command({"--add", "Call", "--at", "2030-05-02 09:00:00", "--id", "call"}).exitCode, 0);
  const std::string ics = files_.File("items.ics");
  const Ran exported = Command({"--export-ics", QString::fromStdString(ics)});
  ASSERT_EQ(exported.exitCode, 0) << exported.err;
  const std::string before = Command({"--list"}).out;

  std::filesystem::remove(events_);
  const Ran imported = Command({"--import-ics", QString::fromStdString(ics)});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  EXPECT_EQ(imported.out, "Added 2, skipped 0.\n");
  EXPECT_EQ(Command({"--list"}).out, before);

  // A desktop calendar's recurring event and to-do with an alarm, beside what it skips.
  std::filesystem::remove(events_);
  const Ran other = Command({"--import-ics", QString(CALENDARS_DIR) + "/evolution-export.ics"});
  ASSERT_EQ(other.exitCode, 0) << other.err;
  EXPECT_EQ(other.out.substr(0, other.out.find('\n')), "Added 3, skipped 3.");
  EXPECT_NE(other.out.find("\nSkipped Christmas Eve: all-day, no time of day\n"), std::string::npos)
      << other.out;
  const std::string list = Command({"--list"}).out;
  EXPECT_NE(list.find("\t2026-12-15 10:00:00\tEurope/Berlin\t20\tarmed\t\tFREQ=WEEKLY;BYDAY=TU\n"),
            std::string::npos)
      << list;
  EXPECT_NE(list.find("\t2026-12-18 17:00:00\tEurope/Berlin\t60\tarmed\t\t\n"), std::string::npos)
      << list;
  const Ran garbage = Command({"--import-ics", QString::fromStdString(events_)});
  EXPECT_EQ(garbage.exitCode, 1);
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
