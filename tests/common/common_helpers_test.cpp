// The small helpers every layer above uses: another server's host[:port], and whole writes.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>

#include "common/fs_util.h"
#include "common/host_port.h"
#include "fixtures/temp_dir.h"

namespace korvi {
namespace {

TEST(HostPort, TakesAHostAndAPortInRangeOnly) {
  const std::optional<HostPort> plain = ParseHostPort("example.org", 80);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->host, "example.org");
  EXPECT_EQ(plain->port, 80);
  const std::optional<HostPort> local = ParseHostPort("127.0.0.1:65535", 80);
  ASSERT_TRUE(local);
  EXPECT_EQ(local->host, "127.0.0.1");
  EXPECT_EQ(local->port, 65535);
  for (const char* bad : {"", ":8080", "host:", "host:0", "host:65536", "host:123456", "host:8o", "host:-1"})
    EXPECT_FALSE(ParseHostPort(bad, 80)) << bad;
}

TEST(WriteAll, WritesAtAnOffsetOrAtThePositionAndSaysWhyNot) {
  fixtures::TempDir dir;
  const std::string path = (dir.path() / "file").string();
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  ASSERT_TRUE(fd.Valid());
  ASSERT_TRUE(WriteAll(fd.Get(), "abcdef", 6));
  ASSERT_TRUE(WriteAll(fd.Get(), "XY", 2, 1));  // leaves the position after "f"
  ASSERT_TRUE(WriteAll(fd.Get(), "gh", 2));
  std::string bytes;
  ASSERT_EQ(::lseek(fd.Get(), 0, SEEK_SET), 0);
  ASSERT_TRUE(ReadUpTo(fd.Get(), 100, bytes));
  EXPECT_EQ(bytes, "aXYdefgh");

  UniqueFd readOnly(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(readOnly.Valid());
  errno = 0;
  EXPECT_FALSE(WriteAll(readOnly.Get(), "z", 1));
  EXPECT_EQ(errno, EBADF);
  EXPECT_FALSE(WriteAll(readOnly.Get(), "z", 1, 0));
}

}  // namespace
}  // namespace korvi
