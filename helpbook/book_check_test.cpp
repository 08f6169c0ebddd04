#include "helpbook/book_check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/text.h"
#include "project/contents_file.h"
#include "project/index_file.h"
#include "project/page_entry.h"
#include "project/project_file.h"
#include "testing/temp_dir.h"

namespace helpbook {
namespace {

using inkbinder::kCodePage936;
using inkbinder::Utf8ToCodePage;
using inkbinder::testing::ReadBytes;
using inkbinder::testing::ScopedTempDir;
using inkbinder::testing::WriteBytes;

std::string Gbk(const std::string& utf8) { return Utf8ToCodePage(utf8, kCodePage936); }

TEST(ReaderPathTest, DecodesLocalValuesAsAReaderDoes) {
  struct Case {
    std::string local;  // as the sitemap holds it
    const char* path;
  };
  const Case cases[] = {
      {Gbk("第1章.txt"), "第1章.txt"},
      {Gbk("C%23入门.txt"), "C#入门.txt"},
      {"x%2541y.txt", "x%41y.txt"},
      {"a.txt#part", "a.txt"},
      {"/sub/a.txt", "sub/a.txt"},
      {"%E7%AC%AC.txt", "第.txt"},
      {"a%20b.txt", "a b.txt"},
      {"100%", "100%"},
      {"%zz%4", "%zz%4"},
      {Gbk("俓.txt"), "俓.txt"},  // a trail byte 0x5C is no backslash
      // HTML attribute text: references are decoded before the URL is.
      {Gbk("R&amp;D 部门.txt"), "R&D 部门.txt"},
      {"p&amp;amp;q.txt", "p&amp;q.txt"},
      {"&#31532;&#x31;.txt", "第1.txt"},
      {"a&b.txt", "a&b.txt"},
      {"x&amp;y%23z.txt", "x&y#z.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReaderPathOfLocal(c.local), c.path) << c.local;
}

TEST(SitemapLocalsTest, FindsEveryLocalWhateverTheMarkupLooksLike) {
  const std::string written = inkbinder::ContentsFileText({"a.txt", Gbk("第1章.txt")}, {"A", "x"});
  EXPECT_EQ(SitemapLocals(written), (std::vector<std::string>{"a.txt", Gbk("第1章.txt")}));
  const std::string by_hand =
      "<PARAM NAME=\"local\" VALUE='b.txt'>\n"
      "<param value=\"c.txt\" name=\"Local\"/>\n"
      "<param  name=Local value=d.txt >\n"
      "<param name=\"Name\" value=\"not a link\">\n"
      "<paramx name=\"Local\" value=\"e.txt\">\n"
      "<param name=\"Local\" value=\"\">";
  EXPECT_EQ(SitemapLocals(by_hand), (std::vector<std::string>{"b.txt", "c.txt", "d.txt", ""}));
}

// Bytes that do not compress, so a book of them is mostly that page.
std::string Noise(std::size_t size) {
  std::string out(size, '\0');
  std::uint32_t x = 12345;
  for (char& c : out) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  return out;
}

// Books from the built-in compiler, read back through this system's help
// storage (itss.dll on Windows), sound and then damaged on disk.
// The compiler reads a page in pieces of one size and the check in pieces of
// another: the digests must agree whatever the pieces, and a change in any
// byte must show, one in the last unfinished word too.
// Writes the project for `pages` in `folder` and compiles it with the check
// left out, keeping the facts the compiler hands the check.
void CompileUnchecked(const std::string& folder, const std::vector<std::string>& pages, std::string* book,
                      BookFacts* facts) {
  const std::vector<std::string> names = inkbinder::ReadPageNames(folder, pages);
  ASSERT_TRUE(inkbinder::WriteContentsFile(folder, pages, names));
  ASSERT_TRUE(inkbinder::WriteIndexFile(folder, pages, names));
  ASSERT_TRUE(inkbinder::WriteProjectFile(folder, pages, "书"));
  CompileOptions options;
  options.check = [&](const std::string&, const BookFacts& given) {
    *facts = given;
    return std::string();
  };
  std::string error;
  ASSERT_TRUE(CompileHelpBook(folder + "/" + inkbinder::kProjectFileName, options, book, &error)) << error;
}

TEST(PageDigestTest, IsTheSameWhateverThePiecesAndChangesWithAnyByte) {
  const std::string text = "页面的末尾 ends mid-word";
  ASSERT_NE(text.size() % 8, 0u);
  PageDigest whole;
  whole.Add(text.data(), text.size());
  for (std::size_t piece = 1; piece <= text.size(); ++piece) {
    PageDigest pieces;
    for (std::size_t at = 0; at < text.size(); at += piece) {
      pieces.Add(text.data() + at, std::min(piece, text.size() - at));
    }
    EXPECT_EQ(pieces.length, text.size());
    EXPECT_EQ(pieces.Value(), whole.Value()) << "pieces of " << piece;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string changed = text;
    changed[i] = static_cast<char>(changed[i] ^ 1);
    PageDigest other;
    other.Add(changed.data(), changed.size());
    EXPECT_NE(other.Value(), whole.Value()) << "byte " << i;
  }
}

TEST(BookCheckOfBuiltBooksTest, PassesASoundBookAndNamesTheFirstBadFileOfADamagedOne) {
  ScopedTempDir dir("book check 书");
  const std::vector<std::string> pages = {"a.txt", "R&amp;D 部门.txt", "p&q.txt", "第2章.txt", "z.txt"};
  const std::string bytes[] = {"aa", "<title>R&amp;D</title>\r\n", "pq", "二", Noise(300000)};
  for (std::size_t i = 0; i < pages.size(); ++i) WriteBytes(dir / pages[i], bytes[i]);
  std::string book;
  BookFacts facts;
  ASSERT_NO_FATAL_FAILURE(CompileUnchecked(dir.path(), pages, &book, &facts));
  ASSERT_EQ(facts.pages.size(), pages.size());
  EXPECT_EQ(CheckBook(book, facts), "");
  // The book is compared with what the compiler wrote, not with a file that
  // changed since.
  WriteBytes(dir / "p&q.txt", "changed");
  EXPECT_EQ(CheckBook(book, facts), "");

  const std::string sound = ReadBytes(book);
  const std::size_t listed_a = sound.find("/a.txt");
  ASSERT_NE(listed_a, std::string::npos);
  struct Damage {
    const char* what;
    std::size_t at;
    char byte;
    const char* message;  // how the check's message starts
  } damages[] = {
      // The directory's name for a.txt changed to a.txu.
      {"a renamed page", listed_a + 5, 'u', "a.txt: the book does not hold this page"},
      // Within the compressed noise, which is most of the book.
      {"a damaged last page", sound.size() / 2, '\0', "z.txt: "},
  };
  for (const Damage& d : damages) {
    std::string damaged = sound;
    damaged[d.at] = d.byte != '\0' ? d.byte : static_cast<char>(~damaged[d.at]);
    WriteBytes(book, damaged);
    const std::string problem = CheckBook(book, facts);
    EXPECT_EQ(problem.rfind(d.message, 0), 0u) << d.what << ": " << problem;
  }
}

// Readers of their own share the pages in runs: every page is still looked
// up, and the problem told is the first in book order, pages before sitemaps,
// whichever reader meets one first.
TEST(BookCheckOfBuiltBooksTest, SeveralReadersCheckEveryPageAndTellTheFirstProblem) {
  ScopedTempDir dir("book check readers");
  std::vector<std::string> pages;
  for (int i = 0; i < 24; ++i) {
    pages.push_back("p" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".txt");
    WriteBytes(dir / pages.back(), "page " + std::to_string(i) + Noise(10000));  // a reset interval every few pages
  }
  std::string book;
  BookFacts facts;
  ASSERT_NO_FATAL_FAILURE(CompileUnchecked(dir.path(), pages, &book, &facts));
  constexpr unsigned kReaders = 3;
  ASSERT_EQ(CheckBook(book, facts, nullptr, kReaders), "");

  const std::string sound = ReadBytes(book);
  // A name in the directory changed from .txt to .txu: the reader no longer finds it.
  const auto renamed = [&](std::string bytes, const std::string& name) {
    const std::size_t at = bytes.find("/" + name);
    EXPECT_NE(at, std::string::npos) << name;
    if (at != std::string::npos) bytes[at + name.size()] = 'u';
    return bytes;
  };
  const auto not_held = [](const std::string& page) { return page + ": the book does not hold this page"; };
  for (const std::string& page : pages) {
    WriteBytes(book, renamed(sound, page));
    EXPECT_EQ(CheckBook(book, facts, nullptr, kReaders), not_held(page));
  }
  WriteBytes(book, renamed(renamed(sound, pages[20]), pages[4]));
  EXPECT_EQ(CheckBook(book, facts, nullptr, kReaders), not_held(pages[4]));
  const std::string contents = inkbinder::kContentsFileName;
  WriteBytes(book, renamed(sound, contents));
  EXPECT_EQ(CheckBook(book, facts, nullptr, kReaders), "the book holds no contents " + contents);
  WriteBytes(book, renamed(renamed(sound, contents), pages[23]));
  EXPECT_EQ(CheckBook(book, facts, nullptr, kReaders), not_held(pages[23]));

  WriteBytes(book, sound);
  int asked = 0;
  EXPECT_EQ(CheckBook(book, facts, [&] { return ++asked == 3; }, kReaders), "interrupted");
}

}  // namespace
}  // namespace helpbook
