#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "project/page_list.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::MakeFolder;
using testing::ScopedTempDir;
using testing::WriteBytes;

TEST(NaturalLessTest, OrdersLikeTheFileExplorer) {
  const std::vector<std::string> sorted = {
      "1.txt", "2.txt", "02b.txt", "10.txt", "a.txt", "B.txt", "b2.txt", "b10.txt",
      "第2章.txt", "第10章.txt",
  };
  for (size_t i = 0; i < sorted.size(); ++i) {
    for (size_t j = 0; j < sorted.size(); ++j) {
      EXPECT_EQ(NaturalLess(sorted[i], sorted[j]), i < j) << sorted[i] << " vs " << sorted[j];
    }
  }
}

TEST(NaturalLessTest, TiesAreBrokenSoTheOrderIsTotal) {
  // Equal but for case or leading zeros: still a strict, consistent order.
  for (auto [a, b] : {std::pair{"a.txt", "A.txt"}, std::pair{"1.txt", "01.txt"}}) {
    EXPECT_NE(NaturalLess(a, b), NaturalLess(b, a)) << a << " " << b;
  }
  EXPECT_FALSE(NaturalLess("x.txt", "x.txt"));
}

TEST(PageListTest, OnlyVisibleRegularTxtFilesInNaturalOrder) {
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
  const PageList list = ListPages(dir.path());
  EXPECT_EQ(list.pages, (std::vector<std::string>{"good.txt", "俓.txt"}));
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
