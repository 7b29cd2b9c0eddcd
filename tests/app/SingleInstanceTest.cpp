// One running program per events file: the lock and the call to the first program.
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>

#include "TempDir.h"
#include "singleInstance.h"

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
