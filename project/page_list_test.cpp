#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "project/page_list.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::MakeFolder;
using testing::ScopedTempDir;
using testing::WriteBytes;

TEST(PageListTest, OnlyVisibleRegularTxtFilesInPageOrder) {
  ScopedTempDir dir;
  for (const char* name : {"a.txt", "B.TXT", "d.htm", "a.txt1", "10.txt", "9.Txt", ".hidden.txt",
                           "第10章.txt", "第2章.txt"}) {
    WriteBytes(dir / name, "x");
  }
  MakeFolder(dir / "e.txt");
  const PageList list = ListPages(dir.path());
  EXPECT_EQ(list.pages, (std::vector<std::string>{"9.Txt", "10.txt", "a.txt", "B.TXT",
                                                  "第2章.txt", "第10章.txt"}));
  EXPECT_TRUE(list.left_out.empty());
}

#ifndef _WIN32
// The folder's listing tells files from links; a link is a page when it
// leads to a regular file.
TEST(PageListTest, ALinkIsAPageWhenItLeadsToARegularFile) {
  ScopedTempDir dir;
  WriteBytes(dir / "a.txt", "x");
  MakeFolder(dir / "folder");
  ASSERT_EQ(symlink("a.txt", (dir / "to file.txt").c_str()), 0);
  ASSERT_EQ(symlink("folder", (dir / "to folder.txt").c_str()), 0);
  ASSERT_EQ(symlink("gone.txt", (dir / "dangling.txt").c_str()), 0);
  EXPECT_EQ(ListPages(dir.path()).pages, (std::vector<std::string>{"a.txt", "to file.txt"}));
}
#endif

TEST(PageListTest, NamesTheBookCannotHoldAreLeftOut) {
  ScopedTempDir dir;
#ifdef _WIN32
  // Windows itself refuses the forbidden characters in names, and its names are always text.
  const std::vector<std::string> bad = {"emoji\xF0\x9F\x98\x80.txt"};
#else
  const std::vector<std::string> bad = {"a\"b.txt", "q?.txt", "c:d.txt", "x|y.txt", "tab\t.txt",
                                        "lt<.txt", "back\\slash.txt", "emoji\xF0\x9F\x98\x80.txt",
                                        "bad\xFF.txt"};
#endif
  for (const std::string& name : bad) WriteBytes(dir / name, "x");
  WriteBytes(dir / "good.txt", "x");
  WriteBytes(dir / "俓.txt", "x");  // 82 5C in code page 936: the 5C is no separator
  WriteBytes(dir / "in; mid.txt", "x");
  const PageList list = ListPages(dir.path());
  EXPECT_EQ(list.pages, (std::vector<std::string>{"good.txt", "in; mid.txt", "俓.txt"}));
  std::vector<std::string> expected = bad;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(list.left_out, expected);
}

TEST(PageListTest, AFolderThatCannotBeListedHasNoPages) {
  ScopedTempDir dir;
  for (const std::string& folder : {std::string(" "), std::string(""), dir / "missing"}) {
    EXPECT_TRUE(ListPages(folder).pages.empty()) << "[" << folder << "]";
  }
}

TEST(HasCharacterForbiddenInNamesTest, Cases) {
  for (const char* ok : {"abc", " spaced ", "书名", "a,b", "it's & more"}) {
    EXPECT_FALSE(HasCharacterForbiddenInNames(ok)) << ok;
  }
  for (const char* bad : {"a\\b", "a/b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b", "a\nb",
                          "\x7F"}) {
    EXPECT_TRUE(HasCharacterForbiddenInNames(bad)) << bad;
  }
}

}  // namespace
}  // namespace inkbinder
