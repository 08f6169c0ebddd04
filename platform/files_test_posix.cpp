// The POSIX bodies of the file calls, where they meet the process's other threads.
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/files.h"
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

}  // namespace
}  // namespace inkbinder
