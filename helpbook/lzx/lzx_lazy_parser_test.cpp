#include "helpbook/lzx/lzx_lazy_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "helpbook/lzx/lzx_format.h"

namespace helpbook::lzx {
namespace {

// Bytes that repeat nothing by chance: every four-byte string differs.
void Noise(std::vector<std::uint8_t>* data, std::size_t n, std::mt19937* rng) {
  for (std::size_t i = 0; i < n; ++i) data->push_back(static_cast<std::uint8_t>((*rng)() % 256));
}
void Text(std::vector<std::uint8_t>* data, const char* text) {
  data->insert(data->end(), text, text + std::strlen(text));
}

struct LookCase {
  const char* name;
  const char* first;       // earlier, far back
  std::size_t far_noise;   // between first and second
  const char* second;      // earlier, nearer
  const char* at;          // where the parse is looked at
  unsigned length;         // of the match from second expected one byte after `at` starts
};

// A match is put off by a byte when the next position offers one that
// saves more: a parse that takes the first match it sees still round-trips,
// only larger, so nothing but the items themselves shows it.
TEST(LzxLazyParser, PutsOffAMatchForABetterOneAByteLater) {
  const LookCase cases[] = {
      // Three bytes here, fifteen a byte later.
      {"longer", "abc", 300, "bcdefghijklmnop", "abcdefghijklmnop", 15},
      // As long, but near: fewer offset bits.
      {"as long and nearer", "abcdefgh", 4000, "bcdefghi", "abcdefghi", 8},
  };
  for (const LookCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 rng(11);
    std::vector<std::uint8_t> data;
    Noise(&data, 100, &rng);
    Text(&data, c.first);
    Noise(&data, c.far_noise, &rng);
    const std::size_t second = data.size();
    Text(&data, c.second);
    Noise(&data, 30, &rng);
    const std::size_t at = data.size();
    Text(&data, c.at);
    Noise(&data, 40, &rng);

    CostModel costs;
    costs.Guess(data.data(), data.size());
    LazyParser parser(16, 48, 128);
    ParsedInterval parsed;
    const unsigned main_symbols = kNumChars + 8 * PositionSlots(16);
    parser.Parse(data.data(), data.size(), 0x8000, main_symbols, &costs, &parsed);

    // The items that cover `at` and the byte after it.
    std::size_t pos = 0, i = 0;
    const std::size_t end = parsed.frame_items.back();
    for (; i < end && pos < at; ++i) pos += parsed.items[i].length == 0 ? 1 : parsed.items[i].length;
    ASSERT_EQ(pos, at) << "a match runs over the place looked at";
    ASSERT_LT(i + 1, end);
    EXPECT_EQ(parsed.items[i].length, 0) << "a match taken at once";
    const Item& next = parsed.items[i + 1];
    EXPECT_EQ(next.length, c.length);
    EXPECT_EQ(next.offset, at + 1 - second + 2);  // formatted: distance + 2
  }
}

}  // namespace
}  // namespace helpbook::lzx
