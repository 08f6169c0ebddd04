// The page list on Windows: the file system's attributes and the ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "project/page_list.h"
#include "testing/special_files.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

using testing::MakeFolder;
using testing::ScopedTempDir;
using testing::WriteBytes;

TEST(PageList, OnlyVisibleTxtFilesInPageOrder) {
  ScopedTempDir dir("页面");
  for (const char* name : {"a.txt", "B.TXT", "d.htm", "c.txt.bak", "hidden.txt", "第10章.txt",
                           "第2章.txt", "第二章.txt", "附录.txt", "\xF0\x9F\x98\x80.txt"}) {
    WriteBytes(dir / name, "x");
  }
  MakeFolder(dir / "e.txt");
  ASSERT_TRUE(testing::SetWindowsAttributes(dir / "hidden.txt", FILE_ATTRIBUTE_HIDDEN));
  const PageList list = ListPages(dir.path());
  EXPECT_EQ(list.pages, (std::vector<std::string>{"a.txt", "B.TXT", "第2章.txt", "第二章.txt",
                                                  "第10章.txt", "附录.txt"}));
  EXPECT_EQ(list.left_out, (std::vector<std::string>{"\xF0\x9F\x98\x80.txt"}));
}

}  // namespace
}  // namespace inkbinder
