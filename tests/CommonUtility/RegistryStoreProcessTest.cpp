// The settings store seen from several processes: writers killed or racing, and qsreg.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "CommonCodeLite.h"
#include "TempDir.h"

namespace {

using namespace VIDodadaZadoVove;

const std::string kKey = "Software\\QSoft\\QSRedorodo";

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Drain(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return text;
}

// Runs qsreg with the test's environment (and so its store folder).
ToolRun Qsreg(std::vector<std::string> args) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    return {};
  }
  args.insert(args.begin(), QSREG_PATH);
  std::vector<char*> argv;
  for (auto& a : args) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  ToolRun run;
  run.err = Drain(err[0]);  // qsreg writes little: neither pipe fills while the other waits
  run.out = Drain(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class RegistryStoreProcessTest : public ::testing::Test {
 protected:
  testsupport::ScopedRegistryDir dir_;
};

TEST_F(RegistryStoreProcessTest, AWriteSurvivesItsWriterBeingKilledRightAfter) {
  // The parent has the hives open already, as the program would when a helper is forked.
  ASSERT_TRUE(WriteToRegistry(HKEY_CURRENT_USER, kKey, "Before", Variant(1), true, ""));
  for (bool noFlush : {false, true}) {
    const std::string name = noFlush ? "Unflushed" : "Flushed";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      bForceNoRegistryFlush_m = noFlush;
      const char done =
          WriteToRegistry(HKEY_CURRENT_USER, kKey, name, Variant("kept"), true, "") ? 'y' : 'n';
      (void)!write(ready[1], &done, 1);
      pause();
      _exit(0);
    }
    close(ready[1]);
    char done = 0;
    ASSERT_EQ(read(ready[0], &done, 1), 1);
    close(ready[0]);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(done, 'y');
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      EXPECT_EQ(ReadFromRegistry(root, kKey, name, 256, false, "").AsString(), "kept") << name;
    }
    // A new process, with connections of its own, reads it from the files.
    EXPECT_EQ(Qsreg({"get", kKey, name}).out, "kept\n");
    EXPECT_EQ(Qsreg({"--machine", "get", kKey, name}).out, "kept\n");
  }
}

TEST_F(RegistryStoreProcessTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kWrites = 40;
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> writers;
  for (int w = 0; w < 2; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      close(go[1]);
      char c;
      (void)!read(go[0], &c, 1);  // both start when the parent closes the pipe
      bool ok = true;
      for (int i = 0; i < kWrites; ++i) {
        const std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
        ok = WriteToRegistry(HKEY_CURRENT_USER, kKey, name, Variant(i), true, "") && ok;
      }
      _exit(ok ? 0 : 1);
    }
    writers.push_back(pid);
  }
  close(go[0]);
  close(go[1]);
  for (pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    EXPECT_EQ(ReadKeyValueNamesFromRegistry(root, kKey, false, "").size(), 2u * kWrites);
    EXPECT_EQ(ReadFromRegistry(root, kKey, "w1_39", 3, false, "").AsInt(), 39);
  }
}

TEST_F(RegistryStoreProcessTest, QsregEditsWhatTheProgramReads) {
  EXPECT_EQ(Qsreg({"set", kKey, "Host", "--string", "smtp.example.org"}).status, 0);
  EXPECT_EQ(Qsreg({"set", kKey, "Count", "--dword", "0xffffffff"}).status, 0);
  EXPECT_EQ(Qsreg({"set", kKey, "Blob", "--binary", "0aff"}).status, 0);
  EXPECT_EQ(Qsreg({"set", kKey + "\\Sub", "x", "--dword", "-2"}).status, 0);
  EXPECT_EQ(Qsreg({"--machine", "set", kKey, "Host", "--string", "m"}).status, 0);
  EXPECT_EQ(ReadFromRegistry(HKEY_CURRENT_USER, kKey, "Host", 256, false, "").AsString(),
            "smtp.example.org");
  EXPECT_EQ(ReadFromRegistry(HKEY_CURRENT_USER, kKey, "Count", 3, false, "").AsInt(), -1);
  EXPECT_EQ(ReadFromRegistry(HKEY_LOCAL_MACHINE, kKey, "Host", 256, false, "").AsString(), "m");
  int size = 0;
  const auto blob = ReadBinaryFromRegistry(HKEY_CURRENT_USER, kKey, "Blob", size, false, "");
  ASSERT_EQ(size, 2);
  EXPECT_EQ(blob[1], 0xff);

  WriteToRegistry(HKEY_CURRENT_USER, kKey, "Enabled", Variant(true), false, "");
  EXPECT_EQ(Qsreg({"get", "SOFTWARE\\qsoft\\QSRedorodo", "enabled"}).out, "1\n");
  EXPECT_EQ(Qsreg({"list", kKey}).out,
            "Sub\\\nBlob\tREG_BINARY\t0aff\nCount\tREG_DWORD\t-1\nEnabled\tREG_DWORD\t1\n"
            "Host\tREG_SZ\tsmtp.example.org\n");

  EXPECT_EQ(Qsreg({"delete", kKey, "Host"}).status, 0);
  EXPECT_TRUE(ReadFromRegistry(HKEY_CURRENT_USER, kKey, "Host", 256, false, "").IsNull());
  EXPECT_EQ(Qsreg({"delete-key", "Software"}).status, 0);
  EXPECT_TRUE(ReadKeysFromRegistry(HKEY_CURRENT_USER, "Software", false, "").empty());
  EXPECT_EQ(Qsreg({"--machine", "get", kKey, "Host"}).out, "m\n");
}

TEST_F(RegistryStoreProcessTest, QsregRefusesBadInputWithClearExitCodes) {
  const ToolRun help = Qsreg({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Examples:"), std::string::npos);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{}, 2, "no command given"},
      {{"frob", "x"}, 2, "unknown command 'frob'"},
      {{"--verbose", "list", "x"}, 2, "unknown option '--verbose'"},
      {{"get", kKey}, 2, "usage: qsreg [--machine] get KEY NAME"},
      {{"set", kKey, "n", "--dword", "4294967296"}, 2, "'4294967296' is not a 32-bit number"},
      {{"set", kKey, "n", "--binary", "0g"}, 2, "'0g' is not pairs of hex digits"},
      {{"set", kKey, "n", "--float", "1"}, 2, "set needs --string, --dword or --binary"},
      {{"delete-key", "\\"}, 2, "the hive root itself cannot be deleted"},
      {{"get", kKey, "n"}, 1, "no key"},
      {{"list", "Missing"}, 1, "no key 'Missing'"},
  };
  for (const Case& c : cases) {
    const ToolRun run = Qsreg(c.args);
    EXPECT_EQ(run.status, c.status) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  EXPECT_FALSE(std::ifstream(dir_.UserFile()).good());  // nothing was written

  std::ofstream(dir_.UserFile()) << std::string(2048, 'z');
  const ToolRun damaged = Qsreg({"list", kKey});
  EXPECT_EQ(damaged.status, 3);
  EXPECT_EQ(damaged.err, "qsreg: The settings file " + dir_.UserFile() +
                             " is damaged or not a settings file and is left as it is: file is "
                             "not a database\n");
}

TEST_F(RegistryStoreProcessTest, QsregImportsAllOrNothingAndExportsWhatItImports) {
  testsupport::TempDir files;
  const std::string good = files.File("good.reg");
  std::ofstream(good) << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\QSoft\\QSRedorodo]\r\n"
                         "\"MSMHost\"=\"dispatch.example\"\r\n\"EnableSounds\"=dword:00000001\r\n"
                         "[HKEY_CLASSES_ROOT\\.ics]\r\n";
  const ToolRun imported = Qsreg({"import", good});
  EXPECT_EQ(imported.status, 0);
  EXPECT_EQ(imported.out, good + ": wrote 1 key and 2 values\n");
  EXPECT_NE(imported.err.find("line 6: [HKEY_CLASSES_ROOT\\.ics] skipped"), std::string::npos);

  const std::string bad = files.File("bad.reg");
  std::ofstream(bad) << "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\QSoft\\QSRedorodo]\n"
                        "\"MSMHost\"=\"other.example\"\n\"EnableSounds\"=dword:1x\n";
  const ToolRun refused = Qsreg({"import", bad});
  EXPECT_EQ(refused.status, 4);
  EXPECT_NE(refused.err.find("bad.reg: line 4: dword:"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("nothing was imported"), std::string::npos);
  EXPECT_EQ(Qsreg({"get", kKey, "MSMHost"}).out, "dispatch.example\n");

  const std::string exported = files.File("out.reg");
  EXPECT_EQ(Qsreg({"export", "HKEY_CURRENT_USER\\Software\\QSoft", exported}).status, 0);
  EXPECT_EQ(Qsreg({"delete-key", "Software"}).status, 0);
  EXPECT_EQ(Qsreg({"import", exported}).out, exported + ": wrote 2 keys and 2 values\n");
  EXPECT_EQ(Qsreg({"get", kKey, "EnableSounds"}).out, "1\n");
  EXPECT_EQ(Qsreg({"export", "Software\\Missing", exported}).status, 1);
  EXPECT_EQ(Qsreg({"import", files.File("none.reg")}).status, 4);
}

}  // namespace
