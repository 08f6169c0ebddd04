#include "helpbook/help_project.h"

#include <gtest/gtest.h>

namespace helpbook {
namespace {

TEST(HelpProjectTest, ReadsOurProject) {
  const std::string text =
      "[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=\xCA\xE9.chm\r\n"
      "Contents file=chm_hhc.hhc\r\nDefault Window=chm_window\r\nDisplay compile progress=No\r\n"
      "Index file=chm_hhk.hhk\r\nLanguage=0x804 \xD6\xD0\xCE\xC4(\xD6\xD0\xB9\xFA)\r\n"
      "[WINDOWS]\r\nchm_window=\xCA\xE9,\"chm_hhc.hhc\",\"chm_hhk.hhk\",,,,,,\"x\",0x2120\r\n"
      "[FILES]\r\n\xB5\xDA""1.txt\r\n  b.txt \r\n;comment\r\n\r\n[INFOTYPES]\r\n";
  HelpProject p;
  std::string error;
  ASSERT_TRUE(ParseHelpProject(text, &p, &error)) << error;
  EXPECT_EQ(p.compiled_file, "\xCA\xE9.chm");
  EXPECT_EQ(p.contents_file, "chm_hhc.hhc");
  EXPECT_EQ(p.index_file, "chm_hhk.hhk");
  EXPECT_EQ(p.default_window, "chm_window");
  EXPECT_EQ(p.language, 0x804u);
  ASSERT_EQ(p.window_lines.size(), 1u);
  EXPECT_EQ(p.window_lines[0].substr(0, 11), "chm_window=");
  EXPECT_EQ(p.files, (std::vector<std::string>{"\xB5\xDA""1.txt", "  b.txt "}));
}

TEST(HelpProjectTest, KeysWithoutCaseAndLineEndsOfEveryKind) {
  HelpProject p;
  std::string error;
  ASSERT_TRUE(ParseHelpProject("[options]\nCOMPILED FILE = a.chm\rtitle=T\r\nlanguage=2052\n[files]\rx.htm",
                               &p, &error)) << error;
  EXPECT_EQ(p.compiled_file, "a.chm");
  EXPECT_EQ(p.title, "T");
  EXPECT_EQ(p.language, 2052u);
  EXPECT_EQ(p.files, std::vector<std::string>{"x.htm"});
}

TEST(HelpProjectTest, LinesItCannotUseAreNamed) {
  const struct {
    const char* text;
    const char* named;
  } cases[] = {
      {"stray\r\n[OPTIONS]\r\n", "line 1 (stray)"},
      {"[OPTIONS]\r\nCompiled file=a.chm\r\nFlat\r\n", "line 3 (Flat)"},
      {"[OPTIONS]\r\nLanguage=Chinese\r\n", "line 2"},
      {"[WINDOWS]\r\nmain\r\n", "line 2 (main)"},
      {"[ALIAS]\r\nIDH_A=a.htm\r\n", "[ALIAS]"},
  };
  for (const auto& c : cases) {
    HelpProject p;
    std::string error;
    EXPECT_FALSE(ParseHelpProject(c.text, &p, &error)) << c.text;
    EXPECT_NE(error.find(c.named), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace helpbook
