#include <algorithm>
#include <iterator>

#include "project/text_encoding.h"

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

}  // namespace

char32_t LowerCaseCodePoint(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  const CaseMapping* end = std::end(kLowerCase);
  const CaseMapping* it = std::lower_bound(
      std::begin(kLowerCase), end, c, [](const CaseMapping& m, char32_t v) { return m.from < v; });
  return (it != end && it->from == c) ? it->to : c;
}

}  // namespace inkbinder
