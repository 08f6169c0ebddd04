#include "helpbook/lzx/lzx_match_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "helpbook/lzx/lzx_format.h"

namespace helpbook::lzx {
namespace {

constexpr unsigned kNice = 258;           // past the longest match: walks never stop early
constexpr unsigned kWholeChain = 1u << 20;  // every earlier position with the hashed prefix

// The longest match at pos against every earlier position, the nearest of
// equal ones: what a finder with unbounded chains must report last.
Match Longest(const std::vector<std::uint8_t>& data, std::uint32_t pos, unsigned limit) {
  Match best{0, 0};
  for (std::uint32_t d = 1; d <= pos; ++d) {
    const unsigned len = MatchLength(data.data() + pos, data.data() + pos - d, limit);
    if (len > best.length) best = {len, d};
  }
  return best;
}

struct InsertCase {
  unsigned shortest;       // as the parser resets the finder
  std::size_t size;        // of the interval
  std::uint32_t inserted;  // positions before this go in without a search, in pieces
};

// Positions that go in without a search (inside chosen matches) must be
// found by the searches after them; wrong or missing ones only cost size,
// which no round trip notices. The last eight positions of an interval take
// another way in than the rest: the cases end on both sides of it.
template <typename Slot>
void CheckInsertedPositionsAreFound(unsigned window_bits) {
  const InsertCase cases[] = {
      {3, 200, 120}, {3, 200, 192}, {3, 200, 193}, {3, 200, 197}, {3, 200, 199},
      {6, 200, 120}, {6, 200, 193}, {6, 200, 199}, {3, 3000, 2990}, {4, 64, 57},
  };
  std::mt19937 rng(7);
  for (const InsertCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "shortest " << c.shortest << " size " << c.size << " inserted "
                                      << c.inserted);
    // Three letters: long and short repeats everywhere.
    std::vector<std::uint8_t> data(c.size);
    for (auto& b : data) b = static_cast<std::uint8_t>('a' + rng() % 3);
    BasicMatchFinder<Slot> finder(window_bits, kNice);
    finder.Reset(kWholeChain, c.shortest, c.size);
    // Uneven pieces, the way matches come.
    for (std::uint32_t from = 0; from < c.inserted;) {
      const std::uint32_t to = std::min<std::uint32_t>(c.inserted, from + 1 + rng() % 9);
      finder.Insert(data.data(), data.size(), from, to);
      from = to;
    }
    const unsigned chain_bytes = std::max(c.shortest, 4u);
    for (std::uint32_t pos = c.inserted; pos < c.size; ++pos) {
      const auto limit = static_cast<unsigned>(std::min<std::size_t>(kMaxMatch, c.size - pos));
      Match found[BasicMatchFinder<Slot>::kMaxFound];
      const unsigned n = finder.FindAndInsert(data.data(), data.size(), pos, limit, 0, found);
      for (unsigned i = 0; i < n; ++i) {
        ASSERT_GE(found[i].length, c.shortest);
        ASSERT_LE(found[i].length, limit);
        ASSERT_LE(found[i].distance, pos);
        ASSERT_EQ(MatchLength(data.data() + pos, data.data() + pos - found[i].distance, limit), found[i].length);
        if (i != 0) {
          ASSERT_GT(found[i].length, found[i - 1].length);
        }
      }
      // Within reach of the chains: the longest is found, and the nearest.
      const Match want = Longest(data, pos, limit);
      if (want.length >= chain_bytes && pos + chain_bytes <= c.size) {
        ASSERT_NE(n, 0u) << "at " << pos;
        EXPECT_EQ(found[n - 1].length, want.length) << "at " << pos;
        EXPECT_EQ(found[n - 1].distance, want.distance) << "at " << pos;
      }
    }
  }
}

TEST(LzxMatchFinder, InsertedPositionsAreFoundUpToTheIntervalsEnd) {
  CheckInsertedPositionsAreFound<std::uint16_t>(16);
  CheckInsertedPositionsAreFound<std::uint32_t>(17);
}

}  // namespace
}  // namespace helpbook::lzx
