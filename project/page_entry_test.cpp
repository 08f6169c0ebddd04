#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "project/contents_file.h"
#include "project/index_file.h"
#include "project/page_entry.h"
#include "project/project_file.h"

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

}  // namespace
}  // namespace inkbinder
