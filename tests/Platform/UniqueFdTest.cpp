#include "UniqueFd.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

namespace {

bool IsOpen(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFdTest, EachDescriptorClosesOnceWhateverItsOwnerBecomes) {
  int ends[2] = {-1, -1};
  ASSERT_EQ(::pipe(ends), 0);
  const int readEnd = ends[0];
  const int writeEnd = ends[1];
  {
    Platform::UniqueFd kept(readEnd);
    Platform::UniqueFd moved(writeEnd);
    kept = std::move(moved);  // the descriptor held before is closed, not leaked
    EXPECT_FALSE(IsOpen(readEnd));
    EXPECT_FALSE(moved);
    EXPECT_EQ(kept.get(), writeEnd);
    Platform::UniqueFd& same = kept;
    kept = std::move(same);  // a move onto itself keeps it
    EXPECT_TRUE(IsOpen(writeEnd));
    const int released = kept.release();  // given up, not closed
    EXPECT_TRUE(IsOpen(released));
    kept.reset(released);
  }
  EXPECT_FALSE(IsOpen(writeEnd));
}

}  // namespace
