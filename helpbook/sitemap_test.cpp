#include "helpbook/sitemap.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "project/contents_file.h"
#include "project/page_entry.h"

namespace helpbook {
namespace {

using inkbinder::kCodePage936;
using inkbinder::Utf8ToCodePage;

// The files exactly as the tool writes them: UTF-8 text stored in code page 936.
const std::vector<std::string> kPages = {"第一章.htm", "b c.htm", "q.htm"};
const std::vector<std::string> kNames = {inkbinder::EscapeSitemapName("序 \"言\" <1>"), "B & C",
                                         "q.htm"};

TEST(SitemapTest, ReadsOurContentsFile) {
  const std::string text = Utf8ToCodePage(inkbinder::ContentsFileText(kPages, kNames), kCodePage936);
  std::vector<SitemapEntry> entries;
  std::string error;
  ASSERT_TRUE(ParseSitemap(text, &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 4u);
  // The heading, without a page, then the pages one level in.
  EXPECT_EQ(entries[0].name, Utf8ToCodePage("目录", kCodePage936));
  EXPECT_EQ(entries[0].local, "");
  EXPECT_EQ(entries[0].depth, 0);
  const std::vector<std::string> names = {"序 \"言\" <1>", "B & C", "q.htm"};
  for (size_t i = 0; i < kPages.size(); ++i) {
    EXPECT_EQ(entries[i + 1].name, Utf8ToCodePage(names[i], kCodePage936)) << i;
    EXPECT_EQ(entries[i + 1].local, Utf8ToCodePage(kPages[i], kCodePage936)) << i;
    EXPECT_EQ(entries[i + 1].depth, 1) << i;
  }
}

TEST(SitemapTest, DecodesEntitiesInNamesAndLocals) {
  const std::string text =
      "<UL><LI><OBJECT type=\"text/sitemap\">"
      "<param name=\"Name\" value=\"&#20013;&#x6587; a&amp;b &nbsp; R&D &lt;&gt;\">"
      "<param name=\"Local\" value=\"a&amp;b.htm\">"
      "<param name=\"Name\" value=\"second name\">"
      "</OBJECT></UL>";
  std::vector<SitemapEntry> entries;
  std::string error;
  ASSERT_TRUE(ParseSitemap(text, &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 1u);
  // 中文 in code page 936; unknown entities and a bare '&' stay as written.
  EXPECT_EQ(entries[0].name, "\xD6\xD0\xCE\xC4 a&b &nbsp; R&D <>");
  EXPECT_EQ(entries[0].local, "a&b.htm");
}

TEST(SitemapTest, NestingAndMarkupVariants) {
  const std::string text =
      "<!-- <OBJECT type=\"text/sitemap\"> in a comment -->"
      "<ul><li><object TYPE='text/sitemap'><PARAM NAME=name VALUE='a > b'></object>"
      "<ul><li><object type=\"text/sitemap\"><param name=\"local\" value=\"x.htm\"></object></ul>"
      "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"c\"></object></ul>";
  std::vector<SitemapEntry> entries;
  std::string error;
  ASSERT_TRUE(ParseSitemap(text, &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "a > b");
  EXPECT_EQ(entries[1].local, "x.htm");
  EXPECT_EQ(entries[1].depth, 1);
  EXPECT_EQ(entries[2].depth, 0);
}

TEST(SitemapTest, RejectsBrokenText) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"just some words", "no entry list"},
      {"<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"a\">", "not closed"},
      {"<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"a\"", "not closed"},
      {"<UL><OBJECT type=\"text/sitemap\"><OBJECT type=\"text/sitemap\"></OBJECT></UL>",
       "inside another"},
  };
  for (const auto& c : cases) {
    std::vector<SitemapEntry> entries;
    std::string error;
    EXPECT_FALSE(ParseSitemap(c.text, &entries, &error)) << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.text << ": " << error;
  }
}

}  // namespace
}  // namespace helpbook
