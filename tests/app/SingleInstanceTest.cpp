// One running program per events file: the lock and the call to the first program.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QTest>

#include <filesystem>

#include "TempDir.h"
#include "desktop/singleInstance.h"

TEST(SingleInstance, ASecondStartOnTheSameFileCallsTheFirstForwardAndStops) {
  testsupport::TempDir dir;
  const std::string file = dir.File("QSEvents.C-D");
  int activations = 0;
  auto first = std::make_unique<SingleInstance>(file);
  first->OnActivate = [&activations] { ++activations; };
  ASSERT_TRUE(first->Acquire());

  // The same file under another name, through a link.
  const std::string link = dir.File("link.C-D");
  std::filesystem::create_symlink(file, link);
  SingleInstance second(link);
  EXPECT_FALSE(second.Acquire());
  EXPECT_TRUE(QTest::qWaitFor([&activations] { return activations == 1; }, 5000));

  SingleInstance other(dir.File("Other.C-D"));
  EXPECT_TRUE(other.Acquire()) << "another file has a program of its own";

  first.reset();  // the first program ends: the next start is the one
  SingleInstance third(file);
  EXPECT_TRUE(third.Acquire());
}

namespace {

unsigned ModeOf(const std::string& path) {
  return static_cast<unsigned>(std::filesystem::status(path).permissions() &
                               std::filesystem::perms::all);
}

}  // namespace

TEST(SingleInstance, TheSocketIsInTheUsersOwnRuntimeFolderNeverAShareableOne) {
  testsupport::TempDir dir;
  const std::string file = dir.File("QSEvents.C-D");
  const std::string runtime = dir.File("run");
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  testsupport::ScopedEnv tmp("TMPDIR", dir.File("tmp"));
  std::filesystem::create_directory(dir.File("tmp"));
  {
    testsupport::ScopedEnv env("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(std::filesystem::path(SingleInstance::SocketPath(file)).parent_path(), runtime);
    SingleInstance first(file);
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(std::filesystem::is_socket(SingleInstance::SocketPath(file)));
  }
  // A runtime folder others may enter is not used: a folder of the user's own instead,
  // made closed, or closed when it was left open.
  const std::string own = dir.File("tmp/vazudovu-" + std::to_string(::geteuid()));
  std::filesystem::permissions(runtime, std::filesystem::perms::all);
  testsupport::ScopedEnv env("XDG_RUNTIME_DIR", runtime);
  EXPECT_EQ(std::filesystem::path(SingleInstance::SocketPath(file)).parent_path(), own);
  EXPECT_EQ(ModeOf(own), 0700u);
  std::filesystem::permissions(own, std::filesystem::perms::all);
  EXPECT_EQ(std::filesystem::path(SingleInstance::SocketPath(file)).parent_path(), own);
  EXPECT_EQ(ModeOf(own), 0700u);
  // One that is a link (someone else's folder, say) is not: no socket at all then.
  std::filesystem::remove(own);
  std::filesystem::create_directory_symlink(runtime, own);
  EXPECT_EQ(SingleInstance::SocketPath(file), "");
  SingleInstance unreachable(file);
  EXPECT_TRUE(unreachable.Acquire()) << "the lock still guards the file";
  EXPECT_FALSE(SingleInstance(file).Acquire());
}

TEST(SingleInstance, ALockFileOfAnotherUserOrALinkIsAClearRefusalNotARunningProgram) {
  testsupport::TempDir dir;
  const std::string file = dir.File("QSEvents.C-D");
  testsupport::ScopedEnv env("XDG_RUNTIME_DIR", dir.Path());
  // The lock file as another user would have left it: seen from a user it does not
  // belong to.
  SingleInstance mine(file);
  ASSERT_TRUE(mine.Acquire());
  const unsigned stranger = static_cast<unsigned>(::geteuid()) + 1;
  SingleInstance other(file, stranger);
  EXPECT_FALSE(other.Acquire());
  EXPECT_NE(
      other.Problem().find("The lock file " + SingleInstance::LockPath(file) +
                           " belongs to another user (uid " + std::to_string(::geteuid()) + ")"),
      std::string::npos)
      << other.Problem();
  SingleInstance second(file);
  EXPECT_FALSE(second.Acquire());
  EXPECT_TRUE(second.Problem().empty()) << "the user's own program: simply already running";

  const std::string linked = dir.File("Linked.C-D");
  std::filesystem::create_symlink(dir.File("elsewhere"), SingleInstance::LockPath(linked));
  SingleInstance viaLink(linked);
  EXPECT_FALSE(viaLink.Acquire());
  EXPECT_NE(viaLink.Problem().find(" is a link"), std::string::npos) << viaLink.Problem();
  EXPECT_FALSE(std::filesystem::exists(dir.File("elsewhere")));
}
