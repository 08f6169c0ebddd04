#include "helpbook/system_files.h"

#include <algorithm>
#include <map>
#include <optional>

#include <gtest/gtest.h>

#include "platform/text.h"
#include "project/contents_file.h"
#include "project/index_file.h"
#include "project/project_file.h"

namespace helpbook {
namespace {

using inkbinder::kCodePage936;
using inkbinder::Utf8ToCodePage;

std::string Gbk(const std::string& utf8) { return Utf8ToCodePage(utf8, kCodePage936); }

// ---- The files read back the way readers read them. ----

std::uint32_t U32(const std::string& s, size_t at) {
  EXPECT_LE(at + 4, s.size());
  if (at + 4 > s.size()) return 0;
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

std::uint16_t U16(const std::string& s, size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                    (static_cast<unsigned char>(s[at + 1]) << 8));
}

// A NUL-terminated string, looked up within its 4096-byte block only, as one
// reader does; nullopt when it does not end there.
std::optional<std::string> BlockString(const std::string& table, std::uint32_t offset) {
  const size_t block_end = std::min<size_t>(table.size(), (offset / 4096 + 1) * 4096);
  const size_t end = table.find('\0', offset);
  if (offset >= table.size() || end == std::string::npos || end >= block_end) return std::nullopt;
  return table.substr(offset, end - offset);
}

std::string File(const std::vector<InternalFile>& files, const std::string& name) {
  for (const InternalFile& f : files) {
    if (f.name == name) return f.bytes;
  }
  ADD_FAILURE() << name << " missing";
  return {};
}

// #SYSTEM's records by code.
std::map<int, std::string> SystemRecords(const std::string& system) {
  std::map<int, std::string> records;
  EXPECT_EQ(U32(system, 0), 3u);
  size_t at = 4;
  while (at + 4 <= system.size()) {
    const int code = U16(system, at);
    const size_t size = U16(system, at + 2);
    EXPECT_LE(at + 4 + size, system.size());
    EXPECT_EQ(records.count(code), 0u) << "code " << code << " twice";
    records[code] = system.substr(at + 4, size);
    at += 4 + size;
  }
  EXPECT_EQ(at, system.size());
  return records;
}

// A text record without its terminating NUL.
std::string Text(const std::map<int, std::string>& records, int code) {
  const auto it = records.find(code);
  if (it == records.end()) return "<absent>";
  EXPECT_FALSE(it->second.empty());
  EXPECT_EQ(it->second.back(), '\0') << "code " << code;
  return it->second.substr(0, it->second.size() - 1);
}

// #SYSTEM's record codes in file order.
std::vector<int> RecordCodes(const std::string& system) {
  std::vector<int> codes;
  for (size_t at = 4; at + 4 <= system.size(); at += 4 + U16(system, at + 2)) codes.push_back(U16(system, at));
  return codes;
}

// The codes a reader sees that takes only the 4096 bytes after the version.
std::vector<int> FirstBlockCodes(const std::string& system) {
  const std::string block = system.substr(4, 4096);
  std::vector<int> codes;
  for (size_t at = 0; at + 4 <= block.size(); at += 4 + U16(block, at + 2)) {
    codes.push_back(U16(block, at));
  }
  return codes;
}

bool Has(const std::vector<int>& codes, int code) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

struct ReadTopic {
  std::string local;
  std::optional<std::string> title;
};

// Topic number -> title and page, through #TOPICS, #STRINGS, #URLTBL and #URLSTR.
std::vector<ReadTopic> Topics(const std::vector<InternalFile>& files) {
  const std::string topics = File(files, "/#TOPICS");
  const std::string strings = File(files, "/#STRINGS");
  const std::string table = File(files, "/#URLTBL");
  const std::string urls = File(files, "/#URLSTR");
  EXPECT_EQ(topics.size() % 16, 0u);
  std::vector<ReadTopic> out;
  for (size_t at = 0; at + 16 <= topics.size(); at += 16) {
    ReadTopic topic;
    const std::uint32_t title = U32(topics, at + 4);
    if (title != 0xFFFFFFFFu) topic.title = BlockString(strings, title).value_or("<broken>");
    const std::uint32_t entry = U32(topics, at + 8);
    EXPECT_EQ(U32(table, entry + 4), at / 16) << "the entry names its topic";
    const std::uint32_t url = U32(table, entry + 8);
    topic.local = BlockString(urls, url + 8).value_or("<broken>");
    out.push_back(topic);
  }
  return out;
}

// ---- The book the tool's project describes. ----

const std::vector<std::string> kPages = {"第一章.htm", "b.htm"};
const std::vector<std::string> kNames = {"序言", "B"};

WindowDefinition OurWindow(const std::string& caption) {
  // The window line exactly as the project file holds it.
  const std::string project = Gbk(inkbinder::ProjectFileText(kPages, caption));
  const size_t start = project.find("chm_window=");
  const std::string line = project.substr(start, project.find("\r\n", start) - start);
  WindowDefinition window;
  std::string error;
  EXPECT_TRUE(ParseWindowLine(line, &window, &error)) << error;
  return window;
}

std::vector<SitemapEntry> Sitemap(const std::string& text) {
  std::vector<SitemapEntry> entries;
  std::string error;
  EXPECT_TRUE(ParseSitemap(text, &entries, &error)) << error;
  return entries;
}

BookInfo OurBook() {
  BookInfo book;
  book.compiled_file = Gbk("我的书.chm");
  book.contents_file = "chm_hhc.hhc";
  book.index_file = "chm_hhk.hhk";
  book.default_window = "chm_window";
  book.windows.push_back(OurWindow("我的书"));
  book.contents = Sitemap(Gbk(inkbinder::ContentsFileText(kPages, kNames)));
  book.index = Sitemap(Gbk(inkbinder::IndexFileText(kPages, kNames)));
  for (const std::string& p : kPages) book.files.push_back(Gbk(p));
  book.timestamp = 0x01D9'0000'0000'0000ull;
  return book;
}

std::vector<InternalFile> Make(const BookInfo& book) {
  std::vector<InternalFile> files;
  std::string error;
  EXPECT_TRUE(MakeSystemFiles(book, &files, &error)) << error;
  return files;
}

TEST(WindowLineTest, ReadsOurWindowLine) {
  const WindowDefinition w = OurWindow("书, 第二版");
  EXPECT_EQ(w.name, "chm_window");
  EXPECT_EQ(w.caption, Gbk("书, 第二版"));  // quoted by the writer because of the comma
  EXPECT_EQ(w.contents_file, "chm_hhc.hhc");
  EXPECT_EQ(w.index_file, "chm_hhk.hhk");
  EXPECT_EQ(w.default_file, "");
  EXPECT_EQ(w.jump2_url, "");
  EXPECT_EQ(w.jump2_text, Gbk("关于"));
  EXPECT_EQ(w.navigation_style, 0x2120u);
  EXPECT_EQ(w.buttons, 0x8380Eu);
  EXPECT_EQ(w.position, (std::array<std::int32_t, 4>{84, 25, 648, 513}));
  EXPECT_EQ(w.notify_id, 0);
  // Properties, position and toolbar given; width, styles, panes left to the reader.
  EXPECT_EQ(w.set_fields, (1u << 1) | (1u << 4) | (1u << 8));
}

TEST(WindowLineTest, RejectsLinesItCannotUse) {
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"\"caption\",\"a.hhc\"", "without a name"},
      {"w=\"caption,a.hhc", "not closed"},
      {"w=\"c\",,,,,,,,,0x2g", "field 10 is not a number"},
      {"w=\"c\",,,,,,,,,,,,[1,2,3]", "position"},
      {"w=\"c\",,,,,,,,,,,,[1,2,3,4", "not closed"},
      {"w=\"c\"x,", "unexpected text"},
      {"w=,,,,,,,,,,,,,,,,,,,,,", "more than 20"},
  };
  for (const auto& c : cases) {
    WindowDefinition w;
    std::string error;
    EXPECT_FALSE(ParseWindowLine(c.line, &w, &error)) << c.line;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.line << ": " << error;
  }
}

TEST(SystemFilesTest, SystemRecordsReadersUse) {
  const std::vector<InternalFile> files = Make(OurBook());
  const std::string system = File(files, "/#SYSTEM");
  const auto records = SystemRecords(system);
  // No default topic in the project: the book opens on the contents' first page.
  EXPECT_EQ(Text(records, kRecordDefaultTopic), Gbk("第一章.htm"));
  // No title either: the window caption names the book.
  EXPECT_EQ(Text(records, kRecordTitle), Gbk("我的书"));
  EXPECT_EQ(Text(records, kRecordContentsFile), "chm_hhc.hhc");
  EXPECT_EQ(Text(records, kRecordIndexFile), "chm_hhk.hhk");
  EXPECT_EQ(Text(records, kRecordDefaultWindow), "chm_window");
  EXPECT_EQ(Text(records, kRecordCompiledFile), Gbk("我的书"));
  const std::string& locale = records.at(4);
  ASSERT_EQ(locale.size(), 36u);
  EXPECT_EQ(U32(locale, 0), 0x804u);
  EXPECT_EQ(U32(locale, 0x0C), 0u) << "no binary keyword index";
  EXPECT_EQ(U32(locale, 0x14), 0u);
  EXPECT_EQ(U32(locale, 0x18), 0x01D90000u);  // the time's high half
  // A reader overwrites the last byte with a NUL: it must be one already.
  EXPECT_EQ(system.back(), '\0');
  // Readers of the first 4096 bytes that mis-decode a Chinese start page do
  // not reach it; they still find everything else.
  const std::vector<int> first = FirstBlockCodes(system);
  EXPECT_FALSE(Has(first, 2));
  for (int code : {0, 1, 3, 4, 5, 6, 10}) EXPECT_TRUE(Has(first, code)) << code;
  EXPECT_EQ(records.count(kRecordDefaultFont), 0u) << "no default font unless the project names one";
  // The documented order, which other compilers keep; the start page after
  // record 13, whose copy of #IDXHDR carries it past those readers' reach.
  EXPECT_EQ(RecordCodes(system), (std::vector<int>{10, 9, 4, 3, 6, 0, 1, 5, 13, 2}));
  EXPECT_EQ(Text(records, kRecordCompiler).rfind("Inkbinder ", 0), 0u) << "the compiler's version";
  const std::string index_header = File(files, "/#IDXHDR");
  EXPECT_EQ(records.at(13), index_header);
  ASSERT_EQ(index_header.size(), 4096u);
  EXPECT_EQ(index_header.substr(0, 4), "T#SM");
  EXPECT_EQ(U32(index_header, 0x0C), Topics(files).size()) << "the number of topics";
  EXPECT_EQ(File(files, "/#ITBITS"), "");
  for (const InternalFile& f : files) {
    EXPECT_EQ(f.compressed, f.name != "/#SYSTEM") << f.name << ": only #SYSTEM stays uncompressed";
  }
}

TEST(SystemFilesTest, ChineseStartPageStaysBeyondTheFirstBlockWhateverComesBefore) {
  // Titles that put the records before the start page just short of, at and
  // just past the 4096 bytes those readers take.
  for (size_t length = 3940; length <= 4010; ++length) {
    BookInfo book = OurBook();
    book.title = std::string(length, 'T');
    const std::string system = File(Make(book), "/#SYSTEM");
    EXPECT_FALSE(Has(FirstBlockCodes(system), 2)) << length;
    EXPECT_EQ(Text(SystemRecords(system), kRecordDefaultTopic), Gbk("第一章.htm")) << length;
  }
}

TEST(SystemFilesTest, ProjectValuesWin) {
  BookInfo book = OurBook();
  book.default_topic = "b.htm";
  book.title = "Title";
  book.compiled_file = "..\\out\\Big Book.CHM";
  const std::string system = File(Make(book), "/#SYSTEM");
  const auto records = SystemRecords(system);
  EXPECT_EQ(Text(records, kRecordDefaultTopic), "b.htm");
  EXPECT_EQ(RecordCodes(system), (std::vector<int>{10, 9, 4, 2, 3, 6, 0, 1, 5, 13}))
      << "an ASCII start page is for every reader, in its documented place";
  EXPECT_EQ(Text(records, kRecordTitle), "Title");
  EXPECT_EQ(Text(records, kRecordCompiledFile), "big book");
}

TEST(SystemFilesTest, StartPageFallsBackToTheFirstFile) {
  BookInfo book = OurBook();
  book.contents.resize(1);  // the heading only
  EXPECT_EQ(StartPage(book), Gbk("第一章.htm"));
  book.files.clear();
  EXPECT_EQ(StartPage(book), "");
  EXPECT_EQ(SystemRecords(File(Make(book), "/#SYSTEM")).count(kRecordDefaultTopic), 0u);
}

TEST(SystemFilesTest, WindowStructAsReadersTakeIt) {
  const std::vector<InternalFile> files = Make(OurBook());
  const std::string windows = File(files, "/#WINDOWS");
  const std::string strings = File(files, "/#STRINGS");
  ASSERT_EQ(U32(windows, 0), 1u);
  ASSERT_EQ(U32(windows, 4), 0xC4u);
  ASSERT_EQ(windows.size(), 8u + 0xC4u);
  const std::string w = windows.substr(8);
  EXPECT_EQ(U32(w, 0x00), 0xC4u);
  EXPECT_EQ(BlockString(strings, U32(w, 0x08)), "chm_window");
  EXPECT_EQ(U32(w, 0x0C), 0x112u);
  EXPECT_EQ(U32(w, 0x10), 0x2120u);
  EXPECT_EQ(BlockString(strings, U32(w, 0x14)), Gbk("我的书"));
  EXPECT_EQ(U32(w, 0x20), 84u);
  EXPECT_EQ(U32(w, 0x2C), 513u);
  EXPECT_EQ(BlockString(strings, U32(w, 0x60)), "chm_hhc.hhc");
  EXPECT_EQ(BlockString(strings, U32(w, 0x64)), "chm_hhk.hhk");
  EXPECT_EQ(U32(w, 0x68), 0u) << "no default file in the window: readers use #SYSTEM's";
  EXPECT_EQ(U32(w, 0x6C), 0u);
  EXPECT_EQ(U32(w, 0x70), 0x8380Eu);
  EXPECT_EQ(BlockString(strings, U32(w, 0xA0)), Gbk("关于"));  // jump 2's text
  EXPECT_EQ(U32(w, 0xA8), 0u);
  EXPECT_EQ(strings.at(0), '\0') << "offset 0 means no string";
}

TEST(SystemFilesTest, DefaultWindowComesFirstAndMustExist) {
  BookInfo book = OurBook();
  WindowDefinition other;
  std::string error;
  ASSERT_TRUE(ParseWindowLine("other=\"Other\"", &other, &error)) << error;
  book.windows.insert(book.windows.begin(), other);
  const std::vector<InternalFile> files = Make(book);
  const std::string windows = File(files, "/#WINDOWS");
  ASSERT_EQ(U32(windows, 0), 2u);
  EXPECT_EQ(BlockString(File(files, "/#STRINGS"), U32(windows, 8 + 8)), "chm_window");

  book.default_window = "missing";
  std::vector<InternalFile> none;
  EXPECT_FALSE(MakeSystemFiles(book, &none, &error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

TEST(SystemFilesTest, EveryPageIsATopicOnce) {
  BookInfo book = OurBook();
  book.index.push_back(SitemapEntry{"Extra", "extra.htm", 0});
  book.files.push_back("pic.htm");
  const std::vector<ReadTopic> topics = Topics(Make(book));
  ASSERT_EQ(topics.size(), 4u);
  EXPECT_EQ(topics[0].local, Gbk("第一章.htm"));
  EXPECT_EQ(topics[0].title, Gbk("序言"));
  EXPECT_EQ(topics[1].local, "b.htm");
  EXPECT_EQ(topics[1].title, "B");
  EXPECT_EQ(topics[2].local, "extra.htm");
  EXPECT_EQ(topics[2].title, "Extra");
  EXPECT_EQ(topics[3].local, "pic.htm");
  EXPECT_FALSE(topics[3].title.has_value());
}

TEST(SystemFilesTest, ManyLongTitlesStayWithinBlocks) {
  BookInfo book = OurBook();
  book.contents.clear();
  book.index.clear();
  book.files.clear();
  // 1,000 pages with 300-byte Chinese titles: several string blocks and
  // three blocks of the URL table.
  for (int i = 0; i < 1000; ++i) {
    std::string title;
    for (int c = 0; c < 150; ++c) title += Gbk("页");
    title += std::to_string(i);
    book.contents.push_back(SitemapEntry{title, "p" + std::to_string(i) + ".htm", 1});
  }
  // One title longer than a block is cut on a character border.
  book.contents[7].name = std::string(4095, 'a');
  for (int c = 0; c < 10; ++c) book.contents[7].name += Gbk("页");
  const std::vector<ReadTopic> topics = Topics(Make(book));
  ASSERT_EQ(topics.size(), 1000u);
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(topics[i].local, "p" + std::to_string(i) + ".htm");
    if (i != 7) {
      EXPECT_EQ(topics[i].title, book.contents[i].name) << i;
    }
  }
  EXPECT_EQ(topics[7].title, std::string(4095, 'a'));
}

}  // namespace
}  // namespace helpbook
