#include <algorithm>
#include <iterator>

#include "platform/text.h"

namespace inkbinder {

namespace {

struct CaseMapping {
  char32_t from;
  char32_t to;
};

// The Unicode simple lower-case mapping, generated at build time from the
// Unicode character database, so both platforms lower-case alike.
constexpr CaseMapping kLowerCase[] = {
#include "lower_case_table.inc"
};

constexpr bool InCodePointOrder() {
  for (size_t i = 1; i < std::size(kLowerCase); ++i) {
    if (!(kLowerCase[i - 1].from < kLowerCase[i].from)) return false;
  }
  return true;
}
static_assert(InCodePointOrder(), "the lookup below needs the table in code point order");

// LowerCase takes ASCII's lower case from AsciiLower without the table.
constexpr bool AsciiAsAsciiLower() {
  size_t ascii = 0;
  for (const CaseMapping& m : kLowerCase) {
    if (m.from >= 0x80) continue;
    ++ascii;
    if (m.to != static_cast<char32_t>(AsciiLower(static_cast<char>(m.from)))) return false;
  }
  return ascii == 26;
}
static_assert(AsciiAsAsciiLower(), "ASCII lower-cases as AsciiLower does");

// Which blocks of 256 code points hold a capital at all: most text (Chinese
// above all) then skips the search.
struct BlockMap {
  bool has_capital[0x1100] = {};
};
constexpr BlockMap MakeBlockMap() {
  BlockMap map;
  for (const CaseMapping& m : kLowerCase) map.has_capital[m.from >> 8] = true;
  return map;
}
constexpr BlockMap kBlocks = MakeBlockMap();

}  // namespace

char32_t LowerCaseCodePoint(char32_t c) {
  if (c < 0x80) return static_cast<unsigned char>(AsciiLower(static_cast<char>(c)));
  if (c >= 0x110000 || !kBlocks.has_capital[c >> 8]) return c;
  const CaseMapping* end = std::end(kLowerCase);
  const CaseMapping* it = std::lower_bound(
      std::begin(kLowerCase), end, c, [](const CaseMapping& m, char32_t v) { return m.from < v; });
  return (it != end && it->from == c) ? it->to : c;
}

}  // namespace inkbinder
