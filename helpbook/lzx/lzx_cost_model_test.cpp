#include "helpbook/lzx/lzx_cost_model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace helpbook::lzx {
namespace {

constexpr unsigned kMainSymbols = kNumChars + 8 * PositionSlots(16);

// Sixteenths of a bit for a symbol used `count` times out of `total`.
double Price(double count, double total) { return kPriceScale * std::log2(total / count); }

// The frames after an interval's first are priced by what the frames before
// them used: wrong prices only cost size, so no round trip would notice.
TEST(LzxCostModel, LearnedPricesFollowWhatEarlierFramesUsed) {
  const std::uint8_t text[] = "some bytes to guess from";
  CostModel costs;
  costs.Guess(text, sizeof text - 1);

  SymbolCounts counts;
  counts.main['a'] = 1000;
  counts.main['b'] = 100;
  counts.main['c'] = 1;
  const unsigned slot = 4;                        // offsets 4 and 5 (formatted), one extra bit
  counts.main[kNumChars + slot * 8 + 1] = 300;     // length 3
  counts.length[0] = 5;                           // length 9
  counts.length[10] = 50;                         // length 19
  const double total = 1000 + 100 + 1 + 300;
  costs.Learn(counts, kMainSymbols);

  // Whole numbers from a four-bit mantissa: within an eighth of a bit.
  EXPECT_NEAR(costs.Literal('a'), Price(1000, total), 2.0);
  EXPECT_NEAR(costs.Literal('b'), Price(100, total), 2.0);
  EXPECT_NEAR(costs.Literal('c'), Price(1, total), 2.0);
  // Never used: dearer than anything used, no dearer than the longest code.
  EXPECT_GT(costs.Literal('d'), costs.Literal('c'));
  EXPECT_LE(costs.Literal('d'), kPriceScale * kMaxCodeLength);

  const std::uint32_t formatted = kSlotBases.base[slot];
  EXPECT_NEAR(costs.Match(3, formatted), Price(300, total) + kPriceScale * ExtraBits(slot), 2.0);
  EXPECT_GT(costs.Match(3, kSlotBases.base[slot + 1]), costs.Match(3, formatted));
  // Long matches: a main symbol never used (priced as if used half a time)
  // and a length footer priced among the footers alone.
  EXPECT_NEAR(costs.Match(19, formatted), Price(0.5, total) + Price(50, 55) + kPriceScale * ExtraBits(slot), 3.0);
  EXPECT_NEAR(costs.Match(9, formatted), Price(0.5, total) + Price(5, 55) + kPriceScale * ExtraBits(slot), 3.0);
}

// The planner weighs verbatim against aligned blocks by the offset bits the
// counted matches send: a wrong sum only costs size.
TEST(LzxCostModel, CountsGiveTheOffsetBitsTheMatchesSend) {
  struct Case {
    unsigned length, slot, times;
  };
  const Case cases[] = {
      {2, 0, 7},     // repeat offset: no extra bits
      {9, 3, 2},     // no extra bits, long
      {3, 4, 5},     // one extra bit
      {40, 5, 1},    // one, long
      {4, 8, 3},     // three: aligned
      {200, 9, 4},   // three, long
      {5, 20, 6},    // nine
      {257, 36, 2},  // seventeen, the longest match
      {8, 49, 1},    // seventeen, the last slot
  };
  SymbolCounts counts, doubled;
  std::uint64_t bits = 0, aligned = 0;
  for (const Case& c : cases) {
    const std::uint32_t offset = c.slot < 3 ? c.slot : kSlotBases.base[c.slot] + (c.slot & 1);
    const Item item{static_cast<std::uint16_t>(c.length), 0, static_cast<std::uint8_t>(c.slot), offset};
    for (unsigned i = 0; i < c.times; ++i) counts.Count(item);
    bits += std::uint64_t{c.times} * ExtraBits(c.slot);
    if (ExtraBits(c.slot) >= 3) aligned += c.times;
  }
  counts.Count(Item{0, 'x', 0, 0});  // a literal sends none
  EXPECT_EQ(counts.ExtraBitsSent(), bits);
  EXPECT_EQ(counts.AlignedOffsets(), aligned);
  doubled.Add(counts);
  doubled.Add(counts);
  EXPECT_EQ(doubled.ExtraBitsSent(), 2 * bits);
  EXPECT_EQ(doubled.AlignedOffsets(), 2 * aligned);
}

}  // namespace
}  // namespace helpbook::lzx
