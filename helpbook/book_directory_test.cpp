#include "helpbook/book_directory.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace helpbook {
namespace {

TEST(EncIntTest, SevenBitsAByteMostSignificantFirst) {
  const struct {
    std::uint64_t value;
    std::string bytes;
  } cases[] = {
      {0, std::string(1, '\0')},
      {0x7F, "\x7F"},
      {0x80, std::string("\x81\x00", 2)},
      {0x3FFF, "\xFF\x7F"},
      {0x4000, std::string("\x81\x80\x00", 3)},
      {0x100000000ULL, std::string("\x90\x80\x80\x80\x00", 5)},
      {~0ULL, "\x81\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F"},
  };
  for (const auto& c : cases) {
    std::string out;
    AppendEncInt(&out, c.value);
    EXPECT_EQ(out, c.bytes) << c.value;
  }
}

TEST(NameOrderTest, AsciiLettersWithoutCaseThenBytes) {
  // Readers fold letters to lower case while walking the index, so '_'
  // (0x5F, between 'Z' and 'a') sorts before every letter.
  const std::vector<std::string> ordered = {
      "/",       "/#SYSTEM", "/$WWKeywordLinks/", "/_x.txt",          "/A.txt",
      "/a_b.txt", "/ab.txt", "/B.txt",            "/z.txt",           "/\xC3\xA9.txt",
      "/\xE4\xB8\xAD.txt",   "::DataSpace/NameList",
  };
  std::vector<std::string> sorted(ordered.rbegin(), ordered.rend());
  std::sort(sorted.begin(), sorted.end(), NameBefore);
  EXPECT_EQ(sorted, ordered);
}

TEST(BuildDirectoryTest, RefusesNamesAReaderCannotTellApartOrHold) {
  Directory directory;
  std::string error;
  EXPECT_FALSE(BuildDirectory({{"/Page.txt", 1, 0, 1}, {"/page.txt", 1, 1, 1}}, &directory, &error));
  EXPECT_NE(error.find("/Page.txt"), std::string::npos) << error;
  EXPECT_NE(error.find("/page.txt"), std::string::npos) << error;

  error.clear();
  EXPECT_FALSE(BuildDirectory({{"/" + std::string(kMaxNameLength, 'x'), 1, 0, 1}}, &directory, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(BuildDirectory({{"/" + std::string(kMaxNameLength - 1, 'x'), 1, 0, 1}}, &directory, &error));
}

}  // namespace
}  // namespace helpbook
