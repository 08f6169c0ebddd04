// The POSIX bodies of the file calls, where they meet the process's other threads.
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/files.h"
#include "testing/special_files.h"
#include "testing/temp_dir.h"

namespace {
std::atomic<int> g_umask_calls{0};
}  // namespace

// Counts every umask() the program's own code makes (this binary's
// definition comes before the C library's).
extern "C" mode_t umask(mode_t mask) noexcept {
  ++g_umask_calls;
  return static_cast<mode_t>(syscall(SYS_umask, mask));
}

namespace inkbinder {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// The umask belongs to the whole process: a write that changed it, however
// briefly, would hand the new files of other threads the wrong mode. The
// system applies it to our new files as to any.
TEST(ReplaceFileContentsTest, NewFilesGetTheUmasksModeWithoutTouchingIt) {
  testing::ScopedTempDir dir;
  for (const auto& [mask, mode] : {std::pair<mode_t, mode_t>{022, 0644}, {077, 0600}, {002, 0664}}) {
    const auto old_mask = static_cast<mode_t>(syscall(SYS_umask, mask));
    g_umask_calls = 0;
    const bool written = ReplaceFileContents(dir / "chm_hhc.hhc", "contents");
    const int calls = g_umask_calls;
    syscall(SYS_umask, old_mask);
    ASSERT_TRUE(written);
    EXPECT_EQ(calls, 0) << "the process's umask was changed";
    EXPECT_EQ(ModeOf(dir / "chm_hhc.hhc"), mode) << std::oct << mask;
  }
}

// Pages are read by their descriptors: only a regular file opens, without
// waiting on a FIFO, and a read that fails says so instead of ending early
// (the start of /proc/self/mem is a regular file no read can get through).
TEST(RegularFileReaderTest, OnlyARegularFileOpensAndAFailedReadIsTold) {
  testing::ScopedTempDir dir;
  testing::WriteBytes(dir / "page.txt", "page");
  ASSERT_TRUE(testing::MakeFifo(dir / "fifo.txt"));
  struct Case {
    std::string path;
    bool opens;
    std::uint64_t size;
    bool reads;
    std::string bytes;
  };
  const Case cases[] = {
      {dir / "page.txt", true, 4, true, "page"},
      {dir / "missing.txt", false, 0, false, ""},
      {dir.path(), false, 0, false, ""},
      {dir / "fifo.txt", false, 0, false, ""},
      {"/dev/null", false, 0, false, ""},
      {"/proc/self/mem", true, 0, false, ""},
  };
  for (const Case& c : cases) {
    RegularFileReader file;
    ASSERT_EQ(file.Open(c.path), c.opens) << c.path;
    EXPECT_EQ(file.size(), c.size) << c.path;
    char buffer[16] = {};
    size_t got = 99;
    EXPECT_EQ(file.Read(buffer, sizeof buffer, &got), c.reads) << c.path;
    EXPECT_EQ(std::string(buffer, got), c.bytes) << c.path;
  }
}

}  // namespace
}  // namespace inkbinder
