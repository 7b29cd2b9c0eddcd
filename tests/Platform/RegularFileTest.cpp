// Reading a small file whole: only a regular file, only up to its bound, and never
// waiting on a FIFO or reading a device without end.
#include "RegularFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "TempDir.h"

namespace {

using Platform::FileReadStatus;
using Platform::ReadRegularFile;

TEST(RegularFileTest, ReadsAFileUpToItsBoundAndRefusesALargerOne) {
  testsupport::TempDir dir;
  const std::string path = dir.File("config");
  std::ofstream(path, std::ios::binary) << std::string(1024, 'x');
  const Platform::FileRead exact = ReadRegularFile(path, 1024);
  ASSERT_TRUE(exact.Ok()) << exact.message;
  EXPECT_EQ(exact.bytes, std::string(1024, 'x'));

  const Platform::FileRead large = ReadRegularFile(path, 1023);
  EXPECT_EQ(large.status, FileReadStatus::TooLarge);
  EXPECT_EQ(large.message, path + " is larger than 1023 bytes");
  EXPECT_EQ(ReadRegularFile(path, 512).message, path + " is larger than 512 bytes");
  EXPECT_EQ(Platform::SizeText(1024 * 1024), "1 MiB");
  EXPECT_EQ(Platform::SizeText(8 * 1024), "8 KiB");

  // A file that says it is empty and is not, as those under /proc do: the bound counts
  // what is read, not what the file says.
  const Platform::FileRead proc = ReadRegularFile("/proc/self/status", 16);
  EXPECT_EQ(proc.status, FileReadStatus::TooLarge);

  const Platform::FileRead missing = ReadRegularFile(dir.File("absent"), 1024);
  EXPECT_EQ(missing.status, FileReadStatus::Missing);
  EXPECT_NE(missing.message.find(dir.File("absent")), std::string::npos);
}

TEST(RegularFileTest, AFifoOrADeviceIsRefusedAtOnce) {
  testsupport::TempDir dir;
  // Without a writer, opening a FIFO for reading waits for one, for ever.
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const Platform::FileRead fromFifo = ReadRegularFile(fifo, 1024 * 1024);
  EXPECT_EQ(fromFifo.status, FileReadStatus::NotRegular);
  EXPECT_EQ(fromFifo.message, fifo + " is not a regular file");

  // A link to an endless device is judged by what it leads to.
  const std::string zero = dir.File("zero");
  ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
  const Platform::FileRead fromZero = ReadRegularFile(zero, 1024 * 1024);
  EXPECT_EQ(fromZero.status, FileReadStatus::NotRegular);
  EXPECT_EQ(fromZero.message, zero + " is not a regular file");
  EXPECT_EQ(ReadRegularFile(dir.Path(), 1024).status, FileReadStatus::NotRegular);
}

}  // namespace
