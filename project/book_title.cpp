#include "project/book_title.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/text.h"
#include "project/page_list.h"

namespace inkbinder {

namespace {

constexpr size_t kLongestName = 255;

bool IsDeviceName(const std::string& title) {
  // Windows reads "CON", "con.txt" and "CON .x" alike: the part before the
  // first dot, trailing spaces dropped, letter case ignored.
  std::string base = title.substr(0, title.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

}  // namespace

TitleCheck CheckBookTitle(const std::string& folder, const std::string& title) {
  if (title.empty()) return TitleCheck::kEmpty;
  if (HasCharacterForbiddenInNames(title)) return TitleCheck::kForbiddenCharacter;
  if (!FitsCodePage(title, kSystemAnsi)) return TitleCheck::kOutsideCodePage;
  if (title.front() == ' ' || title.back() == ' ' || title.back() == '.' || IsDeviceName(title)) {
    return TitleCheck::kNotAFileName;
  }
  // The book is written beside it under a temporary name first.
  const size_t name_bytes = FileSystemBytes(title + ".chm").size();
  if (name_bytes > kLongestName ||
      FileSystemBytes(folder + "/").size() + std::max(name_bytes, kLongestTemporaryNameBytes) >
          kLongestPathBytes) {
    return TitleCheck::kNotAFileName;
  }
  return TitleCheck::kFine;
}

}  // namespace inkbinder
