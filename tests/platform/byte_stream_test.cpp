// The byte streams: reads and writes at the position, truncation, and the
// errno of a failed call kept for the caller.
#include "platform/byte_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/files.h"
#include "tests/support/expect_throw.h"
#include "tests/support/temp_dir.h"

using namespace platform;
using testsupport::expect_throw;
using testsupport::TempDir;

TEST(ByteStream, FileReadsWritesAndTruncatesAtThePosition) {
  TempDir dir;
  const std::string path = dir.file("s.bin");
  FileStream f(UniqueFd(::open(path.c_str(), O_RDWR | O_CREAT, 0600)), path);
  ASSERT_TRUE(f.WriteExactly("0123456789", 10));
  f.SetPosition(4);
  ASSERT_TRUE(f.Truncate());
  EXPECT_EQ(f.Size(), 4);
  char buf[8] = {};
  f.SetPosition(-5);  // reads as 0
  EXPECT_EQ(f.Read(buf, 8), 4);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(f.Read(buf, 8), 0);
  EXPECT_EQ(f.LastError(), 0);

  FileStream reader(path);
  EXPECT_EQ(reader.Size(), 4);
  // A read-only stream refuses writes and says why.
  EXPECT_EQ(reader.Write("x", 1), 0);
  EXPECT_EQ(reader.LastError(), EBADF);
  expect_throw<EFOpenError>(
      [&] { FileStream missing(dir.file("none")); },
      "Cannot open file \"" + dir.file("none") + "\". The system cannot find the file specified");
}

TEST(ByteStream, MemoryStreamAndCopy) {
  MemoryStream from("abcdef"), to;
  from.SetPosition(2);
  ASSERT_TRUE(copy_stream(from, to, 3));
  EXPECT_EQ(to.Bytes(), "cde");
  EXPECT_FALSE(copy_stream(from, to, 2));  // one byte left
  to.SetPosition(1);
  ASSERT_TRUE(to.Truncate());
  EXPECT_EQ(to.Bytes(), "c");
}
