#include <gtest/gtest.h>

#include <algorithm>

#include "bench/measure.h"
#include "bench/page_corpus.h"
#include "platform/text.h"
#include "project/page_list.h"
#include "project/page_title.h"
#include "testing/temp_dir.h"

namespace inkbinder::bench {
namespace {

using inkbinder::testing::ScopedTempDir;
using inkbinder::testing::WriteBytes;

TEST(CorpusPageTest, PagesAreCodePage936WithCrLfLinesOfAboutTwoKilobytes) {
  for (size_t i : {0u, 1u, 2u, 3u, 4u, 5u, 8185u, 99999u}) {
    SCOPED_TRACE(i);
    const std::string bytes = CorpusPageBytes(i);
    EXPECT_GE(bytes.size(), 2048u);
    EXPECT_LT(bytes.size(), 2048u + 128u);
    for (size_t k = 0; k < bytes.size(); ++k) {
      if (bytes[k] == '\r') {
        EXPECT_TRUE(k + 1 < bytes.size() && bytes[k + 1] == '\n') << "lone CR at " << k;
      } else if (bytes[k] == '\n') {
        EXPECT_TRUE(k > 0 && bytes[k - 1] == '\r') << "lone LF at " << k;
      }
    }
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    // Not UTF-8 in disguise: decodes cleanly from code page 936 and holds Chinese.
    EXPECT_FALSE(IsValidUtf8(bytes));
    const std::string utf8 = CodePageToUtf8(bytes, kCodePage936);
    EXPECT_EQ(utf8.find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_NE(utf8.find("配置"), std::string::npos);
    EXPECT_NE(utf8.find("Ctrl+S"), std::string::npos);
  }
}

TEST(CorpusPageTest, EveryOtherPageHasATitleThatTheLookupFinds) {
  struct Case {
    size_t i;
    std::string title;
  };
  const Case cases[] = {
      {0, "第1节 section 1 概述"},  // <title>
      {1, ""},
      {2, "第3节 section 3 概述"},  // <Title>
      {3, ""},
      {4, "第5节 section 5 概述"},  // <TITLE>
      {8184, "第8185节 section 8185 概述"},
  };
  ScopedTempDir dir("bench-corpus");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.i);
    EXPECT_EQ(CorpusPageTitle(c.i), c.title);
    const std::string path = dir / CorpusPageName(c.i);
    WriteBytes(path, CorpusPageBytes(c.i));
    EXPECT_EQ(ReadPageTitle(path), c.title);
  }
}

TEST(CorpusPageTest, TitleStandsOnAnEarlyLine) {
  for (size_t i = 0; i < 6; i += 2) {
    SCOPED_TRACE(i);
    std::string lower = CorpusPageBytes(i);
    for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    const size_t tag = lower.find("<title>");
    ASSERT_NE(tag, std::string::npos);
    EXPECT_LE(std::count(lower.begin(), lower.begin() + tag, '\n'), 3);
  }
}

TEST(CorpusPageTest, FolderListsInPageOrderAcrossDigitCounts) {
  ScopedTempDir dir("bench-corpus");
  std::string error;
  ASSERT_TRUE(WriteCorpus(dir.path(), 12, &error)) << error;
  const PageList list = ListPages(dir.path());
  ASSERT_EQ(list.pages.size(), 12u);
  EXPECT_TRUE(list.left_out.empty());
  for (size_t i = 0; i < 12; ++i) EXPECT_EQ(list.pages[i], CorpusPageName(i));
}

TEST(CorpusPageTest, WriteCorpusReportsAFolderItCannotWriteTo) {
  ScopedTempDir dir("bench-corpus");
  std::string error;
  EXPECT_FALSE(WriteCorpus(dir / "missing", 3, &error));
  EXPECT_NE(error.find("missing"), std::string::npos);
}

TEST(MedianTest, MiddleValue) {
  struct Case {
    std::vector<double> values;
    double median;
  };
  const Case cases[] = {
      {{}, 0}, {{3}, 3}, {{5, 1, 3}, 3}, {{4, 1, 3, 2}, 2.5}, {{9, 1, 1, 1, 9}, 1},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Median(c.values), c.median);
}

}  // namespace
}  // namespace inkbinder::bench
