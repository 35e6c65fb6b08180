// SPDX-License-Identifier: GPL-3.0-or-later
// OwnedFile: a stream is closed by its owner in every case, and Close()
// reports a stream in error, or one whose last buffer could not go out, as
// a failure.
#include "common/file.h"

#include <gtest/gtest.h>
#include <fcntl.h>

#include <string>
#include <utility>

#include "support/fixtures.h"

namespace sondrix {
namespace {

bool DescriptorOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(OwnedFile, CloseReportsEveryWayAWriteCanFail) {
  test::TempDir dir;
  const std::string path = dir.File("out.txt");

  struct Case {
    const char* what;
    std::string path;
    const char* mode;
    bool expected;
  };
  const Case cases[] = {
      {"a good write", path, "w", true},
      // The buffer only goes out at the close, which fails.
      {"a full device", "/dev/full", "w", false},
      // The write fails at once and leaves the stream in error.
      {"a stream opened for reading", path, "r", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OwnedFile file = OwnedFile::Open(c.path, c.mode);
    ASSERT_TRUE(file);
    const int fd = ::fileno(file.get());
    std::fputs("one line\n", file.get());
    EXPECT_EQ(file.Close(), c.expected);
    // Closed in every case.
    EXPECT_EQ(file, nullptr);
    EXPECT_FALSE(DescriptorOpen(fd));
    EXPECT_FALSE(file.Close());  // nothing left to close
  }
  EXPECT_EQ(test::ReadTextFile(path).value_or(""), "one line\n");
}

TEST(OwnedFile, FlushStopsAtAStreamInError) {
  OwnedFile full = OwnedFile::Open("/dev/full", "w");
  ASSERT_TRUE(full);
  std::fputs("x", full.get());
  EXPECT_FALSE(full.Flush());
  EXPECT_NE(std::ferror(full.get()), 0);
  EXPECT_FALSE(full.Flush());  // in error: nothing more is tried
  EXPECT_FALSE(full.Close());

  OwnedFile none;
  EXPECT_FALSE(none.Flush());
}

TEST(OwnedFile, OneOwnerClosesTheStreamOnce) {
  OwnedFile first(std::tmpfile());
  ASSERT_TRUE(first);
  const int fd = ::fileno(first.get());

  OwnedFile second(std::move(first));
  EXPECT_EQ(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(DescriptorOpen(fd));

  {
    OwnedFile third;
    third = std::move(second);
    EXPECT_EQ(second, nullptr);
    EXPECT_TRUE(DescriptorOpen(fd));
  }
  EXPECT_FALSE(DescriptorOpen(fd));  // its last owner went

  OwnedFile kept(std::tmpfile());
  std::FILE* stream = kept.release();
  EXPECT_EQ(kept, nullptr);
  EXPECT_TRUE(DescriptorOpen(::fileno(stream)));
  kept.reset(stream);
  kept.reset();
  EXPECT_EQ(kept, nullptr);
}

}  // namespace
}  // namespace sondrix
