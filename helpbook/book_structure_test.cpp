// Our book beside the books of two help compilers whose books Windows' viewer
// is known to open: chmcmd (fp-utils) and halibut (`halibut --chm`). Each
// book is taken apart field by field, and every field where ours differs
// from both of theirs fails the test unless it is listed below with its reason.
#include <algorithm>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helpbook/book_readers.h"
#include "helpbook/compile_help_book.h"
#include "platform/process.h"
#include "project/contents_file.h"
#include "project/index_file.h"
#include "project/page_entry.h"
#include "project/project_file.h"
#include "testing/temp_dir.h"

namespace helpbook {
namespace {

using inkbinder::testing::ReadBytes;
using inkbinder::testing::ScopedTempDir;
using inkbinder::testing::WriteBytes;

// Where ours differs from both others on purpose.
const std::map<std::string, std::string> kExplained = {
    {"#SYSTEM record 6",
     "the compiled file's stem: part of the documented record order (10 9 4 2 3 16 6 0 1 5) that "
     "Windows' own compiler writes; readers that do not know it skip it by its length"},
};

// One field of a book, as "name" -> value in words.
using Fields = std::map<std::string, std::string>;

std::uint64_t Le(const std::string& b, std::size_t at, int bytes) {
  std::uint64_t v = 0;
  if (at + bytes > b.size()) return 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

std::string Hex(std::uint64_t v) {
  std::ostringstream out;
  out << "0x" << std::hex << std::uppercase << v;
  return out.str();
}

std::string HexBytes(const std::string& b) {
  std::ostringstream out;
  for (unsigned char c : b) out << std::hex << std::setw(2) << std::setfill('0') << int{c};
  return out.str();
}

std::string Signed(std::uint64_t v) { return std::to_string(static_cast<std::int32_t>(v)); }

std::string YesNo(bool b) { return b ? "yes" : "no"; }

struct Entry {
  std::uint64_t section, offset, length;
};

std::uint64_t EncInt(const std::string& b, std::size_t* at) {
  std::uint64_t v = 0;
  while (*at < b.size()) {
    const unsigned char c = static_cast<unsigned char>(b[(*at)++]);
    v = (v << 7) | (c & 0x7F);
    if (c < 0x80) break;
  }
  return v;
}

// The book's fields: its file header, directory header and listing read from
// its bytes; the internal files of either section read through chmlib.
Fields TakeApart(const std::string& path) {
  Fields f;
  const std::string b = ReadBytes(path);
  if (b.size() < 0x78 || b.compare(0, 4, "ITSF") != 0) {
    f["header: signature"] = "not a book";
    return f;
  }
  f["header: version, length, field at 0x0C"] =
      std::to_string(Le(b, 4, 4)) + ", " + Hex(Le(b, 8, 4)) + ", " + std::to_string(Le(b, 12, 4));
  f["header: GUIDs"] = HexBytes(b.substr(0x18, 32));
  const std::uint64_t hs0 = Le(b, 0x38, 8), hs0_len = Le(b, 0x40, 8);
  const std::uint64_t dir = Le(b, 0x48, 8), dir_len = Le(b, 0x50, 8), content = Le(b, 0x58, 8);
  f["section table: header section 0, directory"] =
      Hex(hs0) + "+" + Hex(hs0_len) + ", at " + Hex(dir);
  f["section table: data right after the directory"] = YesNo(content == dir + dir_len);
  f["header section 0: 0x1FE, file size right"] =
      Hex(Le(b, hs0, 4)) + ", " + YesNo(Le(b, hs0 + 8, 8) == b.size());

  const std::uint64_t chunk = Le(b, dir + 0x10, 4);
  const std::uint64_t chunks = Le(b, dir + 0x2C, 4);
  f["directory: signature, version, length, field at 0x0C"] =
      b.substr(dir, 4) + ", " + std::to_string(Le(b, dir + 4, 4)) + ", " + Hex(Le(b, dir + 8, 4)) +
      ", " + Hex(Le(b, dir + 0x0C, 4));
  f["directory: chunk size, quick-reference density"] =
      Hex(chunk) + ", " + std::to_string(Le(b, dir + 0x14, 4));
  f["directory: depth, index root, first listing chunk"] = std::to_string(Le(b, dir + 0x18, 4)) + ", " +
                                                          Signed(Le(b, dir + 0x1C, 4)) + ", " +
                                                          std::to_string(Le(b, dir + 0x20, 4));
  f["directory: field at 0x28, GUID, length again, last three"] =
      Signed(Le(b, dir + 0x28, 4)) + ", " + HexBytes(b.substr(dir + 0x34, 16)) + ", " +
      Hex(Le(b, dir + 0x44, 4)) + ", " + Signed(Le(b, dir + 0x48, 4)) + " " +
      Signed(Le(b, dir + 0x4C, 4)) + " " + Signed(Le(b, dir + 0x50, 4));

  std::map<std::string, Entry> entries;
  for (std::uint64_t c = 0; c < chunks; ++c) {
    const std::size_t start = dir + 0x54 + c * chunk;
    if (b.compare(start, 4, "PMGL") != 0) continue;
    std::size_t at = start + 20;
    const std::size_t end = start + chunk - Le(b, start + 4, 4);
    while (at < end && at < b.size()) {
      const std::uint64_t n = EncInt(b, &at);
      const std::string name = b.substr(at, n);
      at += n;
      Entry e;
      e.section = EncInt(b, &at);
      e.offset = EncInt(b, &at);
      e.length = EncInt(b, &at);
      entries[name] = e;
    }
  }
  const auto section0 = [&](const std::string& name) -> std::string {
    const auto it = entries.find(name);
    if (it == entries.end() || it->second.section != 0) return "<absent>";
    return b.substr(content + it->second.offset, it->second.length);
  };
  const std::string storage = "::DataSpace/Storage/MSCompressed/";
  f["NameList"] = HexBytes(section0("::DataSpace/NameList"));
  f["ControlData"] = HexBytes(section0(storage + "ControlData"));
  const std::string transforms = section0(storage + "Transform/List");
  f["transform list: length"] = std::to_string(transforms.size());
  f["transform list: bytes"] = HexBytes(transforms);

  // The compressed section's files end where the span says: its exact length.
  std::uint64_t files_end = 0;
  for (const auto& [name, e] : entries) {
    if (e.section == 1) files_end = std::max(files_end, e.offset + e.length);
  }
  const std::uint64_t span = Le(section0(storage + "SpanInfo"), 0, 8);
  f["SpanInfo: length, the files' exact end"] =
      std::to_string(section0(storage + "SpanInfo").size()) + ", " + YesNo(span == files_end);
  const std::string reset = section0(
      storage + "Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable");
  const std::uint64_t count = Le(reset, 4, 4);
  const std::uint64_t uncompressed = Le(reset, 0x10, 8), compressed = Le(reset, 0x18, 8);
  const auto content_entry = entries.find(storage + "Content");
  f["reset table: version, entry size, header length, frame size"] =
      std::to_string(Le(reset, 0, 4)) + ", " + std::to_string(Le(reset, 8, 4)) + ", " +
      Hex(Le(reset, 12, 4)) + ", " + Hex(Le(reset, 0x20, 8));
  f["reset table: length the span's, compressed length the content's"] =
      YesNo(uncompressed == span) + ", " +
      YesNo(content_entry != entries.end() && compressed == content_entry->second.length);
  // 7-Zip counts (length + 32,769) / 32,768 frames and takes that many
  // entries, or one more that closes the table at the compressed end.
  const std::uint64_t counted = (uncompressed + 0x8001) / 0x8000;
  const bool closing = count == counted + 1 && Le(reset, 0x28 + 8 * (count - 1), 8) == compressed;
  f["reset table: entries as 7-Zip counts them"] = count == counted ? "yes" : closing ? "yes, and a closing one" : "no";

  // The internal files and their sections.
  for (const auto& [name, e] : entries) {
    if (name.size() > 1 && (name[1] == '#' || name[1] == '$') && name.back() != '/') {
      f["file " + name] = "section " + std::to_string(e.section);
    }
  }
  testing::ChmlibBook reader(path);
  std::string system;
  if (reader.Read("/#SYSTEM", &system)) {
    std::vector<int> codes;
    std::string record13;
    for (std::size_t at = 4; at + 4 <= system.size(); at += 4 + Le(system, at + 2, 2)) {
      codes.push_back(static_cast<int>(Le(system, at, 2)));
      if (codes.back() == 13) record13 = system.substr(at + 4, Le(system, at + 2, 2));
      f["#SYSTEM record " + std::to_string(codes.back())] = "yes";
    }
    // The order the format's description gives and chmcmd follows.
    const std::vector<int> documented = {10, 9, 4, 2, 3, 16, 6, 0, 1, 5, 7, 11, 13};
    std::vector<int> known;
    for (int code : codes) {
      if (std::find(documented.begin(), documented.end(), code) != documented.end()) known.push_back(code);
    }
    std::vector<int> in_order = known;
    std::stable_sort(in_order.begin(), in_order.end(), [&](int a, int c) {
      return std::find(documented.begin(), documented.end(), a) <
             std::find(documented.begin(), documented.end(), c);
    });
    f["#SYSTEM: version"] = std::to_string(Le(system, 0, 4));
    f["#SYSTEM: records in the documented order"] = YesNo(known == in_order && codes.size() == known.size());
    std::string index_header;
    f["#IDXHDR: 4096 bytes, record 13 its copy"] =
        reader.Read("/#IDXHDR", &index_header)
            ? std::to_string(index_header.size()) + ", " + YesNo(index_header == record13)
            : "<absent>";
  }
  return f;
}

// A small project the tool would write, compiled by us and by chmcmd.
void WriteOurProject(const std::string& folder) {
  const std::vector<std::string> pages = {"one.htm", "three.htm", "two.htm"};
  WriteBytes(folder + "/one.htm", "<title>One</title>\r\nThe first page.\r\n");
  WriteBytes(folder + "/three.htm", "no title\r\n");
  WriteBytes(folder + "/two.htm", "<title>Two</title>\r\nThe second page.\r\n");
  const std::vector<std::string> names = inkbinder::ReadPageNames(folder, pages);
  ASSERT_TRUE(inkbinder::WriteContentsFile(folder, pages, names));
  ASSERT_TRUE(inkbinder::WriteIndexFile(folder, pages, names));
  ASSERT_TRUE(inkbinder::WriteProjectFile(folder, pages, "Book"));
}

bool RunIn(const std::string& program, const std::vector<std::string>& args, const std::string& folder,
         std::string* error) {
  inkbinder::ProcessOptions options;
  options.working_folder = folder;
  options.capture_output = options.capture_errors = true;
  const auto p = inkbinder::Process::Start(program, args, options, error);
  if (p == nullptr) return false;
  if (p->Wait() != 0) *error = program + " failed: " + p->Output() + p->Errors();
  return p->ExitCode() == 0;
}

TEST(BookStructureTest, OursDiffersFromBothProvenCompilersOnlyWhereItSaysWhy) {
  ScopedTempDir dir("structure");
  std::string error;
  inkbinder::testing::MakeFolder(dir / "ours");
  inkbinder::testing::MakeFolder(dir / "chmcmd");
  inkbinder::testing::MakeFolder(dir / "halibut");
  WriteOurProject(dir / "ours");
  WriteOurProject(dir / "chmcmd");
  std::string ours;
  ASSERT_TRUE(CompileHelpBook(dir / "ours/chm_hhp.hhp", CompileOptions{}, &ours, &error)) << error;
  ASSERT_TRUE(RunIn(INKBINDER_CHMCMD, {"chm_hhp.hhp"}, dir / "chmcmd", &error)) << error;
  WriteBytes(dir / "halibut/book.but",
             "\\title Book\n\n\\C{one} One\n\nThe first page.\n\n\\C{two} Two\n\nThe second page.\n\n"
             "\\C{three} Three\n\nThe third.\n");
  ASSERT_TRUE(RunIn(INKBINDER_HALIBUT, {"--chm=book.chm", "book.but"}, dir / "halibut", &error)) << error;

  const Fields columns[] = {TakeApart(ours), TakeApart(dir / "chmcmd/Book.chm"),
                            TakeApart(dir / "halibut/book.chm")};
  std::map<std::string, bool> rows;
  for (const Fields& f : columns) {
    for (const auto& [name, value] : f) rows[name] = true;
  }
  const auto value = [](const Fields& f, const std::string& row) {
    const auto it = f.find(row);
    if (it != f.end()) return it->second;
    return std::string(row.compare(0, 5, "file ") == 0 || row.compare(0, 8, "#SYSTEM ") == 0 ? "no" : "<absent>");
  };
  std::cout << "| field | ours | chmcmd | halibut |\n|---|---|---|---|\n";
  for (const auto& [row, unused] : rows) {
    const std::string o = value(columns[0], row), c = value(columns[1], row), h = value(columns[2], row);
    const bool differs = o != c && o != h;
    const auto reason = kExplained.find(row);
    std::cout << "| " << row << " | " << o << " | " << c << " | " << h << " |"
              << (differs ? reason != kExplained.end() ? " differs: " + reason->second : " DIFFERS" : "")
              << "\n";
    if (differs && reason == kExplained.end()) {
      ADD_FAILURE() << row << ": ours " << o << ", chmcmd " << c << ", halibut " << h;
    }
    if (!differs && reason != kExplained.end()) {
      ADD_FAILURE() << row << " is listed as a difference but is none now";
    }
  }
  // The fields 7-Zip and the readers rely on hold in every book.
  for (const Fields& f : columns) {
    EXPECT_NE(value(f, "reset table: entries as 7-Zip counts them"), "no");
  }
}

}  // namespace
}  // namespace helpbook
