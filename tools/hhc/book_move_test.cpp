#include "tools/hhc/book_move.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "testing/temp_dir.h"

namespace inkbinder::hhc {
namespace {

using ::inkbinder::testing::Exists;
using ::inkbinder::testing::MakeFolder;
using ::inkbinder::testing::ReadBytes;
using ::inkbinder::testing::ScopedTempDir;
using ::inkbinder::testing::WriteBytes;

size_t EntryCount(const std::string& folder) {
  size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++n;
  }
  return n;
}

// A book of a few blocks, so a copy that stops early shows.
std::string BookBytes(char fill) { return "ITSF" + std::string(200000, fill); }

TEST(BookMoveTest, ReplacesAnOlderBook) {
  ScopedTempDir dir("hhc 书");
  WriteBytes(dir / "new.chm", BookBytes('n'));
  WriteBytes(dir / "我的 书.chm", BookBytes('o'));
  std::string error;
  ASSERT_TRUE(MoveBook(dir / "new.chm", dir / "我的 书.chm", &error)) << error;
  EXPECT_EQ(ReadBytes(dir / "我的 书.chm"), BookBytes('n'));
  EXPECT_FALSE(Exists(dir / "new.chm"));
}

TEST(BookMoveTest, CopiesWholeAndLeavesNoTemporaryFile) {
  ScopedTempDir from("hhc from");
  ScopedTempDir to("hhc to");
  WriteBytes(from / "b.chm", BookBytes('n'));
  WriteBytes(to / "b.chm", BookBytes('o'));
  std::string error;
  ASSERT_TRUE(CopyBookInto(from / "b.chm", to / "b.chm", &error)) << error;
  EXPECT_EQ(ReadBytes(to / "b.chm"), BookBytes('n'));
  EXPECT_EQ(EntryCount(to.path()), 1u);
  struct stat st;
  ASSERT_EQ(stat((to / "b.chm").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IRGRP, 0u) << "a book must not stay private like a temporary file";
}

TEST(BookMoveTest, AFailedCopyKeepsTheOlderBookAndLeavesNothingBehind) {
  ScopedTempDir from("hhc from");
  ScopedTempDir to("hhc to");
  WriteBytes(from / "b.chm", BookBytes('n'));
  // The rename at the end fails: a folder stands where the book should go.
  MakeFolder(to / "b.chm");
  WriteBytes(to / "b.chm/keep", "kept");
  std::string error;
  EXPECT_FALSE(CopyBookInto(from / "b.chm", to / "b.chm", &error));
  EXPECT_NE(error.find("b.chm"), std::string::npos) << error;
  EXPECT_EQ(ReadBytes(to / "b.chm/keep"), "kept");
  EXPECT_EQ(EntryCount(to.path()), 1u);
  EXPECT_EQ(ReadBytes(from / "b.chm"), BookBytes('n'));
}

TEST(BookMoveTest, ReportsAFolderThatIsNotThere) {
  ScopedTempDir from("hhc from");
  WriteBytes(from / "b.chm", BookBytes('n'));
  std::string error;
  EXPECT_FALSE(MoveBook(from / "b.chm", from / "missing/b.chm", &error));
  EXPECT_FALSE(CopyBookInto(from / "b.chm", from / "missing/b.chm", &error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
  EXPECT_TRUE(Exists(from / "b.chm"));
}

}  // namespace
}  // namespace inkbinder::hhc
