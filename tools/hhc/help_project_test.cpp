#include "tools/hhc/help_project.h"

#include <gtest/gtest.h>

#include "project/project_file.h"
#include "project/text_encoding.h"

namespace inkbinder::hhc {
namespace {

std::string Gbk(const std::string& utf8) { return Utf8ToCodePage(utf8, kCodePage936); }

TEST(HelpProjectTest, ReadsWhatTheToolWrites) {
  const std::vector<std::string> pages = {"2.txt", "10.txt", "第1章.txt", "a b.txt"};
  const HelpProject p =
      ParseHelpProject(Gbk(ProjectFileText(pages, "我的 书")));
  EXPECT_EQ(p.compiled_file, Gbk("我的 书.chm"));
  EXPECT_EQ(p.contents_file, "chm_hhc.hhc");
  EXPECT_EQ(p.index_file, "chm_hhk.hhk");
  EXPECT_EQ(p.files, (std::vector<std::string>{"2.txt", "10.txt", Gbk("第1章.txt"), "a b.txt"}));
}

TEST(HelpProjectTest, ReadsTheSyntaxOtherProjectsUse) {
  struct Case {
    const char* what;
    std::string text;
    HelpProject expected;
  };
  const std::string trail_5c = Gbk("俓.txt");  // 0x82 0x5C: the bytes stay as they are
  const Case cases[] = {
      {"LF line ends, spaced and lower-case keys, comments in [FILES]",
       "[options]\n compiled FILE = b.chm \ncontents file=t.hhc\n[files]\n; a comment\n\n x.htm \n",
       {"b.chm", "t.hhc", "chm_hhk.hhk", {"x.htm"}}},
      {"CR line ends",
       "[OPTIONS]\rIndex file=i.hhk\r[FILES]\ra.txt\rb.txt",
       {"", "chm_hhc.hhc", "i.hhk", {"a.txt", "b.txt"}}},
      {"[FILES] ends at the next section; unknown keys and sections ignored",
       "[FILES]\r\na.txt\r\n[INFOTYPES]\r\nnot a file\r\n[OPTIONS]\r\nTitle=x\r\nCompiled file=c.chm\r\n",
       {"c.chm", "chm_hhc.hhc", "chm_hhk.hhk", {"a.txt"}}},
      {"a value may hold '='",
       "[OPTIONS]\r\nCompiled file=a=b.chm\r\n",
       {"a=b.chm", "chm_hhc.hhc", "chm_hhk.hhk", {}}},
      {"a page name with a 0x5C trail byte",
       "[FILES]\r\n" + trail_5c + "\r\n",
       {"", "chm_hhc.hhc", "chm_hhk.hhk", {trail_5c}}},
      {"lines before any section are ignored",
       "x.txt\r\n[FILES]\r\n",
       {"", "chm_hhc.hhc", "chm_hhk.hhk", {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const HelpProject p = ParseHelpProject(c.text);
    EXPECT_EQ(p.compiled_file, c.expected.compiled_file);
    EXPECT_EQ(p.contents_file, c.expected.contents_file);
    EXPECT_EQ(p.index_file, c.expected.index_file);
    EXPECT_EQ(p.files, c.expected.files);
  }
}

}  // namespace
}  // namespace inkbinder::hhc
