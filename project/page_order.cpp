#include "project/page_order.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>

#include "platform/text.h"

namespace inkbinder {

namespace {

// What a name sorts by: a value per character, its code page 936 bytes read
// as a number (a lead byte and its trail as lead * 256 + trail, which keeps
// their byte order); for a number, the mark below, the count of its
// significant digits and the digits. Each value is stored as UTF-8 stores a
// code point: that keeps their order byte for byte and no value is the start
// of another, so keys compare as plain bytes, which is fastest.
using SortKey = std::string;

constexpr char32_t kNumberMark = U'0';  // numbers sort where '0' would
// Characters code page 936 lacks, and bytes that are no UTF-8, sort after all
// that it holds, by code point. Listed names never hold them.
constexpr char32_t kNotInCodePage = 0x10000;
constexpr char32_t kNotACharacter = kNotInCodePage + 0x110000;

void AppendValue(char32_t value, SortKey* key) {
  AppendUtf8(key, std::min<char32_t>(value, 0x1FFFFF));  // the most four bytes hold
}

// A character's code page 936 bytes as one number. Converting costs far
// more than comparing, and names repeat their characters, so each
// character is converted once and kept; racing threads store the same value.
char32_t CodePage936Code(char32_t c) {
  if (c < 0x80) return c;
  if (c >= 0x10000) return kNotInCodePage + c;  // the code page holds nothing beyond U+FFFF
  static std::atomic<char32_t> known[0x10000];  // 0: not converted yet
  char32_t code = known[c].load(std::memory_order_relaxed);
  if (code != 0) return code;
  std::string utf8;
  AppendUtf8(&utf8, c);
  const std::string bytes = Utf8ToCodePage(utf8, kCodePage936);
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  code = kNotInCodePage + c;
  if (bytes.size() == 1 && bytes[0] != '?') code = byte(0);  // the euro sign, 0x80
  if (bytes.size() == 2) code = static_cast<char32_t>(byte(0) << 8 | byte(1));
  known[c].store(code, std::memory_order_relaxed);
  return code;
}

int DigitValue(char32_t c) {
  if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
  if (c >= U'０' && c <= U'９') return static_cast<int>(c - U'０');
  return -1;
}

int ChineseDigitValue(char32_t c) {
  switch (c) {
    case U'〇': case U'零': return 0;
    case U'一': return 1;
    case U'二': case U'两': return 2;
    case U'三': return 3;
    case U'四': return 4;
    case U'五': return 5;
    case U'六': return 6;
    case U'七': return 7;
    case U'八': return 8;
    case U'九': return 9;
    default: return -1;
  }
}

uint64_t ChineseUnitValue(char32_t c) {
  switch (c) {
    case U'十': return 10;
    case U'百': return 100;
    case U'千': return 1000;
    case U'万': return 10000;
    case U'亿': return 100000000;
    default: return 0;
  }
}

bool IsChineseNumeral(char32_t c) { return ChineseDigitValue(c) >= 0 || ChineseUnitValue(c) != 0; }

// Arithmetic that stops at the largest value instead of wrapping: a run too
// long to be a real number still gets a fixed value.
constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
uint64_t Add(uint64_t a, uint64_t b) { return a > kMax - b ? kMax : a + b; }
uint64_t Multiply(uint64_t a, uint64_t b) { return b != 0 && a > kMax / b ? kMax : a * b; }

// The decimal digits of a Chinese numeral run's value. Without unit
// characters it is read digit by digit (二〇二六 is 2026, 一一 is 11); with them
// the usual way (十一 11, 一百零五 105, 三万五千 35000, 三百五 350). Runs that
// are no proper number still get a value from the same steps.
std::string ChineseNumberDigits(const std::u32string& run) {
  if (std::none_of(run.begin(), run.end(), [](char32_t c) { return ChineseUnitValue(c) != 0; })) {
    std::string digits;
    for (char32_t c : run) digits += static_cast<char>('0' + ChineseDigitValue(c));
    return digits;
  }
  uint64_t above_yi = 0;  // the part counted in 亿
  uint64_t above_wan = 0;  // the part counted in 万, below 亿
  uint64_t section = 0;   // below 万
  uint64_t digit = 0;     // the digits since the last unit
  bool has_digit = false;
  uint64_t last_unit = 0;  // the unit just before those digits, if no 零 came between
  for (char32_t c : run) {
    const int d = ChineseDigitValue(c);
    if (d >= 0) {
      digit = Add(Multiply(digit, 10), static_cast<uint64_t>(d));
      if (d == 0 || has_digit) last_unit = 0;
      has_digit = true;
      continue;
    }
    const uint64_t unit = ChineseUnitValue(c);
    const uint64_t count = has_digit ? digit : 1;  // 十 alone is ten
    if (unit < 10000) {
      section = Add(section, Multiply(count, unit));
    } else {
      // 万 or 亿 alone is one of it; after other units it multiplies them (一万亿).
      const bool first = section == 0 && above_wan == 0 && above_yi == 0;
      const uint64_t group = Add(section, has_digit ? digit : (first ? 1 : 0));
      if (unit == 10000) {
        above_wan = Multiply(Add(above_wan, group), unit);
      } else {
        above_yi = Multiply(Add(above_yi, Add(above_wan, group)), unit);
        above_wan = 0;
      }
      section = 0;
    }
    digit = 0;
    has_digit = false;
    last_unit = unit;
  }
  // A lone digit after 百 or a larger unit counts one step down: 三百五 is 350.
  if (has_digit && last_unit >= 100 && digit < 10) digit = Multiply(digit, last_unit / 10);
  const uint64_t value = Add(Add(above_yi, above_wan), Add(section, digit));
  return std::to_string(value);
}

void AppendNumber(std::string digits, SortKey* key) {
  const size_t first = digits.find_first_not_of('0');
  digits.erase(0, first == std::string::npos ? digits.size() : first);  // "007" is 7
  key->push_back(static_cast<char>(kNumberMark));
  AppendValue(static_cast<char32_t>(digits.size()), key);
  *key += digits;
}

SortKey MakeSortKey(std::string_view name) {
  SortKey key;
  key.reserve(name.size());
  size_t pos = 0;
  // The character at `pos` if it passes `test`, moving past it; false otherwise.
  const auto take = [&](auto test, char32_t* c) {
    size_t next = pos;
    if (next >= name.size() || !NextCodePoint(name, &next, c) || !test(*c)) return false;
    pos = next;
    return true;
  };
  const auto is_digit = [](char32_t c) { return DigitValue(c) >= 0; };
  while (pos < name.size()) {
    // Each character is decoded once here; only the runs look further.
    const size_t start = pos;
    char32_t c;
    const bool is_character = NextCodePoint(name, &pos, &c);
    if (is_character && is_digit(c)) {
      std::string digits(1, static_cast<char>('0' + DigitValue(c)));
      while (take(is_digit, &c)) digits += static_cast<char>('0' + DigitValue(c));
      AppendNumber(std::move(digits), &key);
    } else if (is_character && IsChineseNumeral(c)) {
      std::u32string run(1, c);
      while (take(IsChineseNumeral, &c)) run += c;
      AppendNumber(ChineseNumberDigits(run), &key);
    } else if (is_character) {
      AppendValue(CodePage936Code(LowerCaseCodePoint(c)), &key);
    } else {
      AppendValue(kNotACharacter + static_cast<unsigned char>(name[start]), &key);
    }
  }
  return key;
}

}  // namespace

bool PageOrderLess(std::string_view a, std::string_view b) {
  const int by_key = MakeSortKey(a).compare(MakeSortKey(b));
  return by_key != 0 ? by_key < 0 : a < b;
}

void SortPages(std::vector<std::string>* names) {
  struct Keyed {
    SortKey key;
    size_t index;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(names->size());
  for (size_t i = 0; i < names->size(); ++i) keyed.push_back({MakeSortKey((*names)[i]), i});
  std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
    const int by_key = a.key.compare(b.key);
    return by_key != 0 ? by_key < 0 : (*names)[a.index] < (*names)[b.index];
  });
  std::vector<std::string> sorted;
  sorted.reserve(names->size());
  for (const Keyed& k : keyed) sorted.push_back(std::move((*names)[k.index]));
  *names = std::move(sorted);
}

}  // namespace inkbinder
