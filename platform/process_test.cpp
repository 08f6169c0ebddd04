#include <gtest/gtest.h>

#include "platform/process.h"

namespace inkbinder {
namespace {

TEST(BuildCommandLineTest, QuotesOnlyWhatWouldSplit) {
  struct Case {
    const char* program;
    std::vector<std::string> args;
    const char* line;
  } cases[] = {
      {"C:\\tools/hhc.exe", {"D:\\pages/chm_hhp.hhp"}, "C:\\tools/hhc.exe D:\\pages/chm_hhp.hhp"},
      {"C:\\my tools/hhc.exe", {"D:\\书 页/chm_hhp.hhp"},
       "\"C:\\my tools/hhc.exe\" \"D:\\书 页/chm_hhp.hhp\""},
      {"hhc.exe", {"a\tb"}, "hhc.exe \"a\tb\""},
      {"hhc.exe", {""}, "hhc.exe \"\""},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildCommandLine(c.program, c.args), c.line);
}

}  // namespace
}  // namespace inkbinder
