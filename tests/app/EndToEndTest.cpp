// The program as a user runs it: the built executable on the offscreen platform with a
// settings store and an events file of the test's own, an item that is already due, a
// real SMTP server and a small script as the custom application; then SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "CommonCodeLite.h"
#include "MessengerTestServers.h"
#include "SmtpTestServers.h"
#include "TempDir.h"
#include "TestDependency.h"
#include "settings/settingsKeys.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Store(const std::string& name, const std::string& text) {
  VIDodadaZadoVove::WriteToRegistry(VIDodadaZadoVove::HKEY_CURRENT_USER, kSettingsKey, name,
                                    VIDodadaZadoVove::Variant(text), false, "");
}

// Waits for a condition, at most the time given.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// The executable, started with the test's environment plus its own variables.
class Program {
 public:
  explicit Program(const std::vector<std::string>& variables) {
    std::vector<std::string> env(variables);
    for (char** e = environ; *e != nullptr; ++e) {
      env.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : env) {
      envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(VAZUDOVU_EXE), nullptr};
    if (::posix_spawn(&pid_, VAZUDOVU_EXE, nullptr, nullptr, argv, envp.data()) != 0) {
      pid_ = -1;
    }
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool Started() const { return pid_ > 0; }
  // Sends SIGTERM and waits for the exit; the exit status, or -1 when it did not end.
  int Terminate() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    const bool ended = WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 30s);
    if (!ended) {
      return -1;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
};

}  // namespace

TEST(EndToEnd, ADueItemIsMailedLaunchedAndSavedAsNotified) {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  const std::string mailFolder = files.File("mail");
  std::filesystem::create_directory(mailFolder);
  testsupport::SmtpSink sink(mailFolder);
  REQUIRE_TEST_DEPENDENCY(sink.Available(), "aiosmtpd (Debian python3-aiosmtpd) is not installed");

  const std::string script = files.File("record.sh");
  std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" "
                           "\"$0.args\"\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  Store("EmailSMTP", "127.0.0.1");
  Store("EmailSMTPPort", std::to_string(sink.Port()));
  Store("EmailFrom", "Vazudovu <vazudovu@test.example>");
  Store("EmailTo", "first@test.example; second@test.example");
  Store("EmailSubject", "Vazudovu Msg");
  Store("CustomApp", script + " %ItemID %ItemDesc %ItemDate %ItemTime %ItemTZ");

  const std::string events = files.File("QSEvents.C-D");
  std::ofstream(events, std::ios::binary)
      << "e2e-1|0|Check the boiler|0|2006-05-01 12:00:00|1|Etc/UTC|0|10|0|N|0|N|0|Y|0|Y|0|\r\n";

  Program program({"QT_QPA_PLATFORM=offscreen", "QS_EVENTS_FILE=" + events});
  ASSERT_TRUE(program.Started());

  // The first pass comes five seconds after start-up; mail and launch follow at once.
  const std::string argsFile = script + ".args";
  WaitFor([&] { return sink.Mails().size() == 1 && std::filesystem::exists(argsFile); }, 15s);
  const std::vector<std::string> mails = sink.Mails();
  ASSERT_EQ(mails.size(), 1u) << "one mail within 15 seconds";
  EXPECT_NE(mails[0].find("\nTO: first@test.example\nTO: second@test.example\n"), std::string::npos)
      << mails[0];
  EXPECT_NE(mails[0].find("\r\nSubject: Vazudovu Msg\r\n"), std::string::npos) << mails[0];
  EXPECT_NE(mails[0].find("\r\n\r\nYour scheduled item is about to elapse, ItemID: e2e-1 "
                          "Description: Check the boiler ending at: 2006-05-01 12:00:00 "
                          "Etc/UTC\r\n"),
            std::string::npos)
      << mails[0];
  ASSERT_TRUE(std::filesystem::exists(argsFile)) << "the custom application ran";
  const std::string args = Slurp(argsFile);
  EXPECT_EQ(args.rfind("e2e-1\nCheck the boiler\n", 0), 0u) << args;
  EXPECT_NE(args.find("\nEtc/UTC\n"), std::string::npos) << args;

  EXPECT_EQ(program.Terminate(), 0);
  EXPECT_EQ(Slurp(events),
            "e2e-1|0|Check the boiler|0|2006-05-01 12:00:00|2|Etc/UTC|0|10|0|N|0|N|0|Y|0|Y|0|\r\n");
}

TEST(EndToEnd, ADueItemIsSentAsAnInstantMessageAndSavedAsNotified) {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  testsupport::FakePassportServer passport;
  ASSERT_TRUE(passport.Ready());
  testsupport::ScriptedMsnServer server;
  Store("MSMHost", "127.0.0.1");
  Store("MSMPort", std::to_string(server.Port()));
  Store("MSMFrom", "sender@test.example");
  Store("MSMPassword", "secret");
  Store("MSMTo", "friend@test.example");

  const std::string events = files.File("QSEvents.C-D");
  std::ofstream(events, std::ios::binary)
      << "e2e-2|0|Water the plants|0|2006-05-01 12:00:00|1|Etc/UTC|0|10|0|N|0|Y|0|N|0|N|0|\r\n";

  Program program({"QT_QPA_PLATFORM=offscreen", "QS_EVENTS_FILE=" + events,
                   "QS_PASSPORT_NEXUS=" + passport.NexusUrl()});
  ASSERT_TRUE(program.Started());

  // The first pass comes five seconds after start-up; the acknowledgement wait after the
  // message lasts about six seconds before the logout.
  const bool loggedOut = WaitFor(
      [&] {
        const std::vector<std::string> lines = server.Lines();
        return std::count(lines.begin(), lines.end(), std::string("OUT")) == 2;
      },
      40s);
  std::string message;
  for (const testsupport::MsnCommand& c : server.Commands()) {
    if (c.asWord == "MSG") {
      message = c.asPayload;
    }
  }
  EXPECT_EQ(message,
            "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nYour scheduled item is about "
            "to elapse, ItemID: e2e-2 Description: Water the plants ending at: 2006-05-01 "
            "12:00:00 Etc/UTC");
  EXPECT_TRUE(loggedOut) << "the worker logged out of both servers";
  ASSERT_EQ(passport.Requests().size(), 2u);
  EXPECT_NE(passport.Requests()[1].vecLines[1].find(",sign-in=sender%40test.example,pwd=secret,"),
            std::string::npos);

  EXPECT_EQ(program.Terminate(), 0);
  EXPECT_EQ(Slurp(events),
            "e2e-2|0|Water the plants|0|2006-05-01 12:00:00|2|Etc/UTC|0|10|0|N|0|Y|0|N|0|N|0|\r\n");
}
