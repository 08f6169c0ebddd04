#include "project/page_list.h"

#include <algorithm>

#include "project/folder_listing.h"
#include "project/text_encoding.h"

namespace inkbinder {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One character of UTF-8 (or one stray byte), lower-cased, as a number to compare.
char32_t NextFolded(const std::string& s, size_t* pos) {
  const auto lead = static_cast<unsigned char>(s[*pos]);
  size_t len = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (*pos + len > s.size()) len = 1;
  const std::string folded = LowerCase(std::string_view(s).substr(*pos, len));
  *pos += len;
  char32_t value = 0;
  for (unsigned char c : folded) value = (value << 8) | c;  // keeps UTF-8's code point order
  return value;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      size_t ie = i, je = j;
      while (ie < a.size() && IsDigit(a[ie])) ++ie;
      while (je < b.size() && IsDigit(b[je])) ++je;
      size_t iz = i, jz = j;  // skip leading zeros: "007" is 7
      while (iz + 1 < ie && a[iz] == '0') ++iz;
      while (jz + 1 < je && b[jz] == '0') ++jz;
      const size_t la = ie - iz, lb = je - jz;
      if (la != lb) return la < lb;
      const int c = a.compare(iz, la, b, jz, lb);
      if (c != 0) return c < 0;
      i = ie;
      j = je;
      continue;
    }
    const char32_t ca = NextFolded(a, &i);
    const char32_t cb = NextFolded(b, &j);
    if (ca != cb) return ca < cb;
  }
  const bool a_done = i >= a.size(), b_done = j >= b.size();
  if (a_done != b_done) return a_done;
  return a < b;
}

bool HasPageExtension(const std::string& name) {
  if (name.size() < 4) return false;
  return LowerCase(name.substr(name.size() - 4)) == ".txt";
}

bool HasCharacterForbiddenInNames(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
    switch (c) {
      case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        return true;
      default:
        break;
    }
  }
  return false;
}

PageList ListPages(const std::string& folder) {
  PageList list;
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, &entries)) return list;
  for (FolderEntry& e : entries) {
    if (!e.regular_file || e.hidden || !HasPageExtension(e.name)) continue;
    const bool writable =
        e.name_is_text && !HasCharacterForbiddenInNames(e.name) &&
        FitsCodePage(e.name, kSystemAnsi);
    (writable ? list.pages : list.left_out).push_back(std::move(e.name));
  }
  std::sort(list.pages.begin(), list.pages.end(), NaturalLess);
  std::sort(list.left_out.begin(), list.left_out.end());
  return list;
}

}  // namespace inkbinder
