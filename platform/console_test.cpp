#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "platform/console.h"

namespace inkbinder {
namespace {

std::string Written(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
  return text;
}

TEST(ProgressLineTest, RewritesOneLineAtEachWholePercentAndBlanksIt) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    ProgressLine line(f, true);
    for (std::uint64_t done = 0; done <= 400; ++done) line.Show(done, 400);
  }
  const std::string text = Written(f);
  std::fclose(f);
  // 0 % to 100 %, each once; then the line is blanked and nothing is left after it.
  std::size_t lines = 0;
  for (char c : text) lines += c == '\r';
  EXPECT_EQ(lines, 101u + 2u);
  // A file on Windows gets the system's code page: look at the ASCII part.
  EXPECT_NE(text.find(" / pages 0/400 0%\r"), std::string::npos);
  EXPECT_NE(text.find(" / pages 4/400 1%\r"), std::string::npos);
  EXPECT_NE(text.find(" / pages 400/400 100%\r"), std::string::npos);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_EQ(text.back(), '\r');
  EXPECT_EQ(text.substr(text.rfind('%') + 1), "\r" + std::string(text.size() - text.rfind('%') - 3, ' ') + "\r");
}

TEST(ProgressLineTest, NothingWhereNotShown) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    ProgressLine line(f, false);
    line.Show(1, 2);
    line.Show(2, 2);
  }
  EXPECT_EQ(Written(f), "");
  std::fclose(f);
}

}  // namespace
}  // namespace inkbinder
