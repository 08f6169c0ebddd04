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

}  // namespace
}  // namespace helpbook::lzx
