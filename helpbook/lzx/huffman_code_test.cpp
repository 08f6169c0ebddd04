#include "helpbook/lzx/huffman_code.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace helpbook::lzx {
namespace {

// Sum of 2^(max - length): exactly 2^max for a complete code.
std::uint64_t Kraft(const std::vector<std::uint8_t>& lengths, unsigned max) {
  std::uint64_t sum = 0;
  for (auto len : lengths) {
    if (len) sum += std::uint64_t{1} << (max - len);
  }
  return sum;
}

struct Case {
  const char* name;
  std::vector<std::uint32_t> freqs;
  unsigned max_length;
};

std::vector<std::uint32_t> Fibonacci(unsigned n) {
  std::vector<std::uint32_t> f{1, 1};
  while (f.size() < n) f.push_back(f[f.size() - 1] + f[f.size() - 2]);
  return f;
}

TEST(HuffmanCode, CompleteAndWithinTheLimit) {
  std::mt19937 rng(7);
  std::vector<std::uint32_t> sparse(656, 0), skewed(656);
  for (unsigned i = 0; i < 656; i += 37) sparse[i] = rng() % 1000 + 1;
  for (auto& f : skewed) f = rng() % 4 == 0 ? 1 + (rng() % 3) * 100000 : 0;
  const Case cases[] = {
      {"nothing used", std::vector<std::uint32_t>(20, 0), 15},
      {"one symbol", {0, 0, 0, 9, 0, 0, 0, 0}, 7},
      {"one symbol at the start", {5, 0, 0}, 16},
      {"two symbols", {0, 3, 0, 0, 1000}, 16},
      {"fibonacci past 16 bits", Fibonacci(30), 16},
      {"fibonacci pretree", Fibonacci(20), 15},
      {"aligned", {1, 1, 2, 3, 5, 8, 13, 21}, 7},
      {"sparse", sparse, 16},
      {"skewed", skewed, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> lengths(c.freqs.size(), 99);
    BuildCodeLengths(c.freqs.data(), static_cast<unsigned>(c.freqs.size()), c.max_length, lengths.data());
    unsigned used = 0;
    for (std::size_t s = 0; s < lengths.size(); ++s) {
      EXPECT_LE(lengths[s], c.max_length);
      if (c.freqs[s] != 0) {
        EXPECT_NE(lengths[s], 0) << "used symbol " << s << " has no code";
      }
      used += lengths[s] != 0;
    }
    EXPECT_GE(used, 2u);
    EXPECT_EQ(Kraft(lengths, c.max_length), std::uint64_t{1} << c.max_length);
  }
}

TEST(HuffmanCode, FrequentSymbolsGetShorterCodes) {
  const std::vector<std::uint32_t> freqs{1000, 10, 10, 500, 1, 1};
  std::vector<std::uint8_t> lengths(freqs.size());
  BuildCodeLengths(freqs.data(), 6, 16, lengths.data());
  EXPECT_EQ(lengths[0], 1);
  EXPECT_EQ(lengths[3], 2);
  EXPECT_GE(lengths[4], lengths[1]);
}

TEST(HuffmanCode, CanonicalCodesArePrefixFree) {
  const std::vector<std::uint8_t> lengths{3, 3, 3, 3, 3, 2, 4, 4, 0};
  std::vector<std::uint16_t> codes(lengths.size());
  AssignCodes(lengths.data(), static_cast<unsigned>(lengths.size()), codes.data());
  // Shortest first, ties in symbol order: 5 -> 00, 0..4 -> 010..110, 6 -> 1110, 7 -> 1111.
  EXPECT_EQ(codes[5], 0b00);
  EXPECT_EQ(codes[0], 0b010);
  EXPECT_EQ(codes[4], 0b110);
  EXPECT_EQ(codes[6], 0b1110);
  EXPECT_EQ(codes[7], 0b1111);
}

}  // namespace
}  // namespace helpbook::lzx
