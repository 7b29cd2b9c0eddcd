// Starting programs from a command line.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "CommonCodeLite.h"
#include "TempDir.h"

using VIDodadaZadoVove::LaunchApplication;

namespace {

constexpr std::uint16_t kShowNormal = 5;

bool Exists(const std::string& path) {
  return std::filesystem::exists(path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text, mode_t mode) {
  {
    std::ofstream out(path, std::ios::binary);
    out << text;
  }
  chmod(path.c_str(), mode);
}

// Runs the command line and waits for its end.
bool RunAndWait(const std::string& commandLine, std::uint32_t* exitCode = nullptr) {
  return LaunchApplication(commandLine, kShowNormal, true, exitCode, false);
}

// Waits, within a generous limit, until the condition holds.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

int CountOpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

}  // namespace

TEST(LaunchApplication, ReturnsFalseWhenThereIsNothingToStartAndLeavesNothingOpen) {
  testsupport::TempDir dir;
  const int descriptors = CountOpenDescriptors();
  const std::string notExecutable = dir.File("plain.txt");
  WriteFile(notExecutable, "echo hello\n", 0644);
  // Executable but without "#!": only a shell would run it, and none is used.
  const std::string noInterpreter = dir.File("no-interpreter");
  WriteFile(noInterpreter, "touch '" + dir.File("ran") + "'\n", 0755);

  for (const std::string& line :
       {std::string(), std::string(" \t  "), std::string("\"\""), std::string("/nonexistent/prog"),
        std::string("vazudovu-no-such-program-anywhere --help"), notExecutable, noInterpreter}) {
    EXPECT_FALSE(RunAndWait(line)) << "[" << line << "]";
  }
  EXPECT_FALSE(Exists(dir.File("ran")));
  EXPECT_TRUE(RunAndWait("/bin/true"));
  EXPECT_EQ(CountOpenDescriptors(), descriptors);
}

TEST(LaunchApplication, WaitingReturnsAfterTheEndWithTheExitCode) {
  std::uint32_t code = 12345;
  EXPECT_TRUE(RunAndWait("/bin/sh -c \"exit 3\"", &code));
  EXPECT_EQ(code, 3u);
  EXPECT_TRUE(RunAndWait("/bin/true", &code));
  EXPECT_EQ(code, 0u);
  // Killed by a signal: 128 plus its number.
  EXPECT_TRUE(RunAndWait("/bin/sh -c \"kill -9 $$\"", &code));
  EXPECT_EQ(code, 128u + SIGKILL);
  // The program is found on the search path; no exit code wanted.
  EXPECT_TRUE(RunAndWait("sh -c \"exit 7\""));

  // It returns only after the program ended.
  testsupport::TempDir dir;
  const std::string done = dir.File("done");
  ASSERT_TRUE(RunAndWait("/bin/sh -c \"sleep 0.4; echo done > '" + done + "'\""));
  EXPECT_EQ(ReadFile(done), "done\n");
}

TEST(LaunchApplication, SplitsTheCommandLineIntoArgumentsTheWindowsWay) {
  testsupport::TempDir dir;
  // The program's own path holds a blank, so it has to be quoted too.
  const std::string script = dir.File("dump args.sh");
  WriteFile(script,
            "#!/bin/sh\n"
            "out=$1; shift\n"
            "for a; do printf '<%s>\\n' \"$a\"; done > \"$out\"\n",
            0755);
  const std::string out = dir.File("args");
  const std::string arguments = R"(a "b c" "" d\"e "f\\" g\h ab"c d"e x\\\"y "q\\\\" )"
                                "\t\ttab  ";
  ASSERT_TRUE(RunAndWait("\"" + script + "\" " + out + " " + arguments));
  EXPECT_EQ(ReadFile(out),
            "<a>\n<b c>\n<>\n<d\"e>\n<f\\>\n<g\\h>\n<abc de>\n<x\\\"y>\n<q\\\\>\n<tab>\n");
}

TEST(LaunchApplication, ShellMetacharactersAreNeverExecuted) {
  testsupport::TempDir dir;
  const std::string marker = dir.File("pwned");
  for (const std::string& tail : {"; touch " + marker, "&& touch " + marker, "| touch " + marker,
                                  "$(touch " + marker + ")", "`touch " + marker + "`"}) {
    EXPECT_TRUE(RunAndWait("/bin/true " + tail)) << tail;
  }

  // A description substituted into a command line arrives as one argument, as written.
  const std::string out = dir.File("description");
  const std::string description = "Dentist; touch " + marker + " $(id) `id` & > <";
  ASSERT_TRUE(RunAndWait("/bin/sh -c \"printf %s \\\"$1\\\" > \\\"$0\\\"\" " + out + " \"" +
                         description + "\""));
  EXPECT_EQ(ReadFile(out), description);
  EXPECT_FALSE(Exists(marker));
}

TEST(LaunchApplication, RefusesCommandLinesTheBufferCannotHold) {
  const std::string start = "/bin/true ";
  const std::string longest = start + std::string(4095 - start.size(), 'x');
  ASSERT_EQ(longest.size(), 4095u);
  EXPECT_TRUE(RunAndWait(longest));
  EXPECT_FALSE(RunAndWait(longest + "x"));
  EXPECT_FALSE(RunAndWait(start + std::string(100000, 'x')));
}

TEST(LaunchApplication, WithoutWaitReturnsAtOnceAndTheChildIsReapedWhenItEnds) {
  testsupport::TempDir dir;
  const std::string pidFile = dir.File("pid");
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(LaunchApplication("/bin/sh -c \"echo $$ > '" + pidFile + "'.new; mv '" + pidFile +
                                    "'.new '" + pidFile + "'; exec sleep 5\"",
                                kShowNormal, false, nullptr, false));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));

  ASSERT_TRUE(Eventually([&] { return Exists(pidFile); }));
  const pid_t pid = std::stoi(ReadFile(pidFile));
  const std::string proc = "/proc/" + std::to_string(pid);
  ASSERT_TRUE(Exists(proc)) << "the child should still be sleeping";
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  // A child nobody reaps stays in /proc as a zombie.
  EXPECT_TRUE(Eventually([&] { return !Exists(proc); })) << "child " << pid << " not reaped";
}

TEST(LaunchApplication, DetachedChildrenGetASessionOfTheirOwn) {
  testsupport::TempDir dir;
  const auto sessionOf = [&](bool detached) {
    const std::string out = dir.File(detached ? "detached" : "attached");
    EXPECT_TRUE(LaunchApplication("/bin/sh -c \"cat /proc/$$/stat > '" + out + "'\"", kShowNormal,
                                  true, nullptr, detached));
    // pid (comm) state ppid pgrp session ...
    const std::string stat = ReadFile(out);
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    std::string state;
    long ppid = 0, pgrp = 0, session = 0;
    fields >> state >> ppid >> pgrp >> session;
    return std::make_pair(std::stol(stat), session);
  };
  const auto [detachedPid, detachedSession] = sessionOf(true);
  EXPECT_EQ(detachedSession, detachedPid);
  const auto [attachedPid, attachedSession] = sessionOf(false);
  EXPECT_NE(attachedSession, attachedPid);
  EXPECT_EQ(attachedSession, getsid(0));
}

TEST(LaunchApplication, ChildInheritsEnvironmentDirectoryAndOnlyInheritableDescriptors) {
  testsupport::TempDir dir;
  const std::string out = dir.File("inherited");
  setenv("VAZUDOVU_LAUNCH_TEST", "value with blanks", 1);
  const auto previousDirectory = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());

  const int base = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(base, 0);
  const int inheritable = fcntl(base, F_DUPFD, 50);
  const int closedOnExec = fcntl(base, F_DUPFD_CLOEXEC, 60);
  const std::string script =
      "{ printf '%s\\n' \\\"$VAZUDOVU_LAUNCH_TEST\\\"; pwd; "
      "[ -e /proc/$$/fd/" +
      std::to_string(inheritable) +
      " ] && echo inherited; "
      "[ -e /proc/$$/fd/" +
      std::to_string(closedOnExec) + " ] && echo leaked; } > inherited";
  const bool ran = RunAndWait("/bin/sh -c \"" + script + "\"");
  close(base);
  close(inheritable);
  close(closedOnExec);
  std::filesystem::current_path(previousDirectory);
  unsetenv("VAZUDOVU_LAUNCH_TEST");

  ASSERT_TRUE(ran);
  EXPECT_EQ(ReadFile(out), "value with blanks\n" + std::filesystem::canonical(dir.Path()).string() +
                               "\ninherited\n");
}
