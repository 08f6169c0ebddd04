#include "helpbook/page_read_ahead.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/temp_dir.h"

namespace helpbook {
namespace {

using inkbinder::testing::MakeFolder;
using inkbinder::testing::ScopedTempDir;
using inkbinder::testing::WriteBytes;

PageDigest DigestOf(const std::string& bytes) {
  PageDigest digest;
  digest.Add(bytes.data(), bytes.size());
  return digest;
}

// Small pages come read whole, each in its place, however far the readers
// run ahead; what the compile must read itself (a large page, an empty one
// that may not know its size, no file, a folder) is left to it.
TEST(PageReadAheadTest, HandsOutSmallPagesInOrderAndLeavesTheRest) {
  ScopedTempDir dir("read ahead");
  std::vector<std::string> paths;
  std::vector<std::string> bytes;  // "" for a page left to the caller
  const auto page = [&](const std::string& name, const std::string& content, bool read_ahead) {
    WriteBytes(dir / name, content);
    paths.push_back(dir / name);
    bytes.push_back(read_ahead ? content : std::string());
  };
  for (std::size_t i = 0; i < 3 * PageReadAhead::kPagesAhead; ++i) {
    page("p" + std::to_string(i) + ".txt", "页面 " + std::to_string(i), true);
    if (i == 5) page("large.txt", std::string(PageReadAhead::kLargestPage + 1, 'x'), false);
    if (i == 6) page("largest.txt", std::string(PageReadAhead::kLargestPage, 'y'), true);
    if (i == 7) page("empty.txt", "", false);
    if (i == 8) {
      paths.push_back(dir / "missing.txt");
      bytes.emplace_back();
    }
    if (i == 9) {
      MakeFolder(dir / "folder.txt");
      paths.push_back(dir / "folder.txt");
      bytes.emplace_back();
    }
  }
  PageReadAhead ahead(paths, 2);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    std::string got = "stale";
    PageDigest digest;
    const bool read = ahead.Take(i, &got, &digest);
    EXPECT_EQ(read, !bytes[i].empty()) << paths[i];
    if (!read || bytes[i].empty()) continue;
    EXPECT_EQ(got, bytes[i]) << paths[i];
    EXPECT_EQ(digest.length, bytes[i].size());
    EXPECT_EQ(digest.Value(), DigestOf(bytes[i]).Value()) << paths[i];
  }
}

// A compile that stops early drops what was read ahead; without readers the
// compile reads every page itself.
TEST(PageReadAheadTest, StopsWithPagesLeftAndReadsNothingWithoutReaders) {
  ScopedTempDir dir("read ahead stop");
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < 4 * PageReadAhead::kPagesAhead; ++i) {
    paths.push_back(dir / (std::to_string(i) + ".txt"));
    WriteBytes(paths.back(), "page");
  }
  {
    PageReadAhead ahead(paths, 2);
    std::string got;
    PageDigest digest;
    EXPECT_TRUE(ahead.Take(0, &got, &digest));
    EXPECT_EQ(got, "page");
  }
  PageReadAhead none(paths, 0);
  std::string got;
  PageDigest digest;
  EXPECT_FALSE(none.Take(0, &got, &digest));
}

}  // namespace
}  // namespace helpbook
