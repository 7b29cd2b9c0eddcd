// The program as a desktop citizen: where the items live, the command line's outcomes and
// "Start when I log in" against a temporary configuration folder.
#include <QCheckBox>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "WindowFixture.h"
#include "commandLine.h"
#include "desktop/startAtLogin.h"
#include "events/eventsLocation.h"

namespace fs = std::filesystem;
using events_location::Source;

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

command_line::Outcome Parse(QStringList arguments) {
  arguments.prepend("vazudovu");
  return command_line::Parse(arguments);
}

// Points XDG_CONFIG_HOME at a temporary folder for the test's lifetime.
class ScopedConfigHome {
 public:
  explicit ScopedConfigHome(const std::string& path) {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
      previous_ = old;
      hadPrevious_ = true;
    }
    setenv("XDG_CONFIG_HOME", path.c_str(), 1);
  }
  ~ScopedConfigHome() {
    if (hadPrevious_) {
      setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }

 private:
  std::string previous_;
  bool hadPrevious_ = false;
};

}  // namespace

TEST(EventsLocation, NamedThenBesideTheExecutableThenTheDataFolder) {
  events_location::Inputs in;
  in.exeFolder = "/opt/vz";
  in.home = "/home/ann";
  bool beside = false;
  in.exists = [&beside](const std::string& path) {
    return beside && path == "/opt/vz/QSEvents.C-D";
  };
  const auto where = [&in] { return events_location::Resolve(in); };

  EXPECT_EQ(where().path, "/home/ann/.local/share/QSoft/QSEvents.C-D");
  EXPECT_EQ(where().source, Source::DataFolder);
  in.dataHome = "relative/data";  // not absolute: ignored
  EXPECT_EQ(where().path, "/home/ann/.local/share/QSoft/QSEvents.C-D");
  in.dataHome = "/data";
  EXPECT_EQ(where().path, "/data/QSoft/QSEvents.C-D");

  beside = true;
  EXPECT_EQ(where().path, "/opt/vz/QSEvents.C-D");
  EXPECT_EQ(where().source, Source::BesideExecutable);
  in.environment = "/tmp/env.C-D";
  EXPECT_EQ(where().path, "/tmp/env.C-D");
  in.commandLine = "/tmp/option.C-D";
  EXPECT_EQ(where().path, "/tmp/option.C-D");
  EXPECT_EQ(where().source, Source::Named);
}

TEST(EventsLocation, AFirstStartMakesAPrivateFolderAndKeepsAnExistingFile) {
  testsupport::TempDir dir;
  const events_location::Location data{dir.File("share/QSoft/QSEvents.C-D"), Source::DataFolder};
  std::string why;
  ASSERT_TRUE(events_location::PrepareDataFolder(data, why)) << why;
  EXPECT_TRUE(fs::is_regular_file(data.path));
  EXPECT_EQ(fs::status(dir.File("share/QSoft")).permissions() & fs::perms::all,
            fs::perms::owner_all);

  std::ofstream(data.path) << "1|0|kept|0|\r\n";
  ASSERT_TRUE(events_location::PrepareDataFolder(data, why)) << why;
  EXPECT_EQ(Slurp(data.path), "1|0|kept|0|\r\n");

  // A named file's folder is the user's business: nothing is made for it.
  const events_location::Location named{dir.File("elsewhere/QSEvents.C-D"), Source::Named};
  EXPECT_TRUE(events_location::PrepareDataFolder(named, why));
  EXPECT_FALSE(fs::exists(dir.File("elsewhere")));

  fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec);
  const events_location::Location blocked{dir.File("new/QSoft/QSEvents.C-D"), Source::DataFolder};
  if (::geteuid() != 0) {  // root writes anywhere
    EXPECT_FALSE(events_location::PrepareDataFolder(blocked, why));
    EXPECT_NE(why.find("new/QSoft"), std::string::npos) << why;
  }
}

TEST(CommandLine, HelpVersionMistakesAndOptions) {
  const command_line::Outcome help = Parse({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("Usage: vazudovu [options]"), std::string::npos) << help.output;
  EXPECT_NE(help.output.find("--events-file <FILE>"), std::string::npos);
  EXPECT_NE(help.output.find("--hidden"), std::string::npos);
  EXPECT_EQ(help.output.find("platform"), std::string::npos) << "toolkit options stay unlisted";

  EXPECT_EQ(Parse({"--version"}).output, std::string("vazudovu ") + VAZUDOVU_VERSION + "\n");

  for (const QStringList& wrong :
       {QStringList{"--bogus"}, QStringList{"--events-file"}, QStringList{"items.C-D"}}) {
    const command_line::Outcome out = Parse(wrong);
    EXPECT_EQ(out.exitCode, 2) << wrong.join(' ').toStdString();
    EXPECT_TRUE(out.output.empty());
    EXPECT_NE(out.error.find("Usage: vazudovu"), std::string::npos) << out.error;
  }
  EXPECT_NE(Parse({"--bogus"}).error.find("Unknown option 'bogus'."), std::string::npos);

  const command_line::Outcome run =
      Parse({"-platform", "offscreen", "--hidden", "--events-file", "/tmp/x.C-D"});
  EXPECT_EQ(run.exitCode, -1) << run.error;
  EXPECT_TRUE(run.hidden);
  EXPECT_EQ(run.eventsFile, "/tmp/x.C-D");
  EXPECT_FALSE(Parse({}).hidden);
}

TEST(StartAtLogin, TheEntryRunsThisCopyHidden) {
  EXPECT_EQ(start_at_login::ExecLine("/usr/bin/vazudovu", "/usr/bin/vazudovu"),
            "vazudovu --hidden");
  EXPECT_EQ(start_at_login::ExecLine("/home/a b/$x/100%/vazudovu", ""),
            "\"/home/a b/\\\\$x/100%%/vazudovu\" --hidden");
}

class StartAtLoginWindow : public WindowFixture {
 protected:
  testsupport::TempDir config_;
  ScopedConfigHome configHome_{config_.Path()};
};

TEST_F(StartAtLoginWindow, TheBoxWritesAndRemovesTheAutostartEntry) {
  const std::string entry = config_.File("autostart/vazudovu.desktop");
  {
    auto w = Open();
    EXPECT_FALSE(w->chkStartAtLogin->isChecked());
    EXPECT_FALSE(fs::exists(entry)) << "a first start writes nothing";
    w->chkStartAtLogin->click();
    EXPECT_EQ(Stored("StartAtLogin", 3), "1");
    const std::string text = Slurp(entry);
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(text.find(" --hidden\n"), std::string::npos) << text;
    fs::remove(entry);  // as if the desktop's own settings had removed it
  }
  {
    auto w = Open();
    EXPECT_TRUE(w->chkStartAtLogin->isChecked());
    EXPECT_TRUE(fs::exists(entry)) << "the stored choice puts the entry back";
    w->chkStartAtLogin->click();
    EXPECT_EQ(Stored("StartAtLogin", 3), "0");
    EXPECT_FALSE(fs::exists(entry));
  }
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(dialogs_.calls.empty());
}
