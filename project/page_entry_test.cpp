#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "project/contents_file.h"
#include "project/index_file.h"
#include "project/page_entry.h"
#include "project/project_file.h"
#include "testing/temp_dir.h"

namespace inkbinder {
namespace {

// A reader takes a Name value for HTML: a bare & starts a broken reference.
TEST(PageEntryTest, NameValuesKeepReferencesAndEscapeEverythingElse) {
  struct Case {
    const char* title;
    const char* written;
  };
  const Case cases[] = {
      {"Tom & Jerry", "Tom &amp; Jerry"},
      {"a &amp; b", "a &amp; b"},
      {"&#123;&#x1F;&#X1f;&nbsp;", "&#123;&#x1F;&#X1f;&nbsp;"},
      {"say \"hi\" <b>", "say &quot;hi&quot; &lt;b&gt;"},
      {"&", "&amp;"},
      {"a&", "a&amp;"},
      {"&;", "&amp;;"},
      {"&#;", "&amp;#;"},
      {"&#x;", "&amp;#x;"},
      {"&#12a;", "&amp;#12a;"},
      {"&#xZZ;", "&amp;#xZZ;"},
      {"&amp", "&amp;amp"},
      {"&1st;", "&amp;1st;"},
      {"R&D 研发", "R&amp;D 研发"},
      {"&&amp;", "&amp;&amp;"},
      // Each character alone, with nothing else to escape beside it.
      {"a > b", "a &gt; b"},
      {"a < b", "a &lt; b"},
      {"\"a\"", "&quot;a&quot;"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeSitemapName(c.title), c.written) << c.title;
  }
  // A file name is text, not HTML: what looks like a reference is shown as written.
  EXPECT_EQ(EscapeSitemapText("R&amp;D \"1\" <2>.txt"), "R&amp;amp;D &quot;1&quot; &lt;2&gt;.txt");
}

// A reader takes a Local value for a URL in HTML: '&' starts a reference,
// '#' a fragment, '%' an escape.
TEST(PageEntryTest, LocalValuesEscapeAmpersandPercentAndHashOnly) {
  struct Case {
    const char* file;
    const char* written;
  };
  const Case cases[] = {
      {"C#入门.txt", "C%23入门.txt"},
      {"x%41y.txt", "x%2541y.txt"},
      {"100%#.txt", "100%25%23.txt"},
      {"a b&c;d.txt", "a b&amp;c;d.txt"},
      {"R&amp;D 部门.txt", "R&amp;amp;D 部门.txt"},
      {"第1章.txt", "第1章.txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeSitemapLocal(c.file), c.written) << c.file;
  }
}

TEST(PageEntryTest, SitemapsCarryTheEscapedLocalAndTheProjectTheRawName) {
  const std::vector<std::string> pages{"C#.txt", "5%.txt"};
  const std::vector<std::string> names{"C#", "5%"};
  for (const std::string& text :
       {ContentsFileText(pages, names), IndexFileText(pages, names)}) {
    EXPECT_NE(text.find("<param name=\"Local\" value=\"C%23.txt\">\r\n"), std::string::npos);
    EXPECT_NE(text.find("<param name=\"Local\" value=\"5%25.txt\">\r\n"), std::string::npos);
    EXPECT_NE(text.find("<param name=\"Name\" value=\"C#\">\r\n"), std::string::npos);
  }
  const std::string project = ProjectFileText(pages, "书");
  EXPECT_NE(project.find("[FILES]\r\nC#.txt\r\n5%.txt\r\n"), std::string::npos) << project;
}

// Readers of their own share the pages in blocks: every page gets its own
// name in its own place, and once stopped none reads on.
TEST(PageEntryTest, ReadersOfTheirOwnNameEveryPageInItsPlaceAndStopTogether) {
  testing::ScopedTempDir dir("names");
  std::vector<std::string> pages;
  std::vector<std::string> expected;
  for (int i = 0; i < 700; ++i) {  // blocks for three readers and a part block
    pages.push_back(std::to_string(i) + ".txt");
    const bool titled = i % 3 != 0;
    testing::WriteBytes(dir / pages.back(), titled ? "<title>Page " + std::to_string(i) + "</title>" : "text");
    expected.push_back(titled ? "page " + std::to_string(i) : pages.back());
  }
  EXPECT_EQ(ReadPageNames(dir.path(), pages, nullptr, 3), expected);
  int asked = 0;
  const std::vector<std::string> stopped = ReadPageNames(dir.path(), pages, [&] { return ++asked > 10; }, 3);
  ASSERT_EQ(stopped.size(), pages.size());
  std::size_t read = 0;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    EXPECT_TRUE(stopped[i] == expected[i] || stopped[i] == pages[i]) << i;
    read += stopped[i] != pages[i];
  }
  EXPECT_LE(read, 10u);
}

}  // namespace
}  // namespace inkbinder
