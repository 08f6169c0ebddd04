#include "helpbook/lzx/lzx_cost_model.h"

#include <algorithm>
#include <cstring>

namespace helpbook::lzx {

namespace {

// Guessed match symbol prices, in bits. A main tree of a few hundred symbols
// in use gives a typical match header 8 to 10 bits: more where literals are
// cheap, for matches are few there. Against 9 bits for both, 8 and 10 made
// the man pages 0.05 % smaller and text with few repeats 0.2 %; generated
// pages grew 0.05 % (7 and 10: the man pages 0.08 % smaller, generated pages
// 0.1 % larger). The repeat offsets are used more often, the first most of
// all, so their headers come cheaper.
constexpr unsigned kMatchSymbolBits = 8;
constexpr unsigned kCheapLiteralMatchSymbolBits = 10;
// Literals under 4 bits on average: a small alphabet.
constexpr unsigned kCheapLiteralBits = 4;
constexpr unsigned kRepeatSymbolBits[3] = {6, 8, 8};
// Long-match footers spread over 249 symbols; few are used, and often.
constexpr unsigned kFooterBits = 5;
// The byte shares come from the first eight of every 16 bytes: the same
// prices to within 0.01 % of output, for half the counting (1 % of the
// instructions on the man pages, 5 % on generated pages).
constexpr std::size_t kCountStride = 16;
// A byte the interval never holds is never a literal; any price will do.
constexpr unsigned kAbsentLiteralBits = 12;
// A symbol the earlier frames did not use is priced as if it had been used
// half a time: its code, when it gets one, is among the longest. With 0, 2
// or 3 extra bits the three corpora came out within 0.03 % of this.
constexpr unsigned kUnusedSymbolExtraBits = 1;

}  // namespace

std::uint32_t Log2Scaled(std::uint64_t v) {
  static constexpr std::uint8_t kFraction[16] = {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 15};
  const unsigned top = 63u - static_cast<unsigned>(__builtin_clzll(v));
  const unsigned next4 = static_cast<unsigned>(top >= 4 ? v >> (top - 4) : v << (4 - top)) & 15u;
  return kPriceScale * top + kFraction[next4];
}

void SymbolCounts::Add(const SymbolCounts& other) {
  for (unsigned i = 0; i < kMaxMainSymbols; ++i) main[i] += other.main[i];
  for (unsigned i = 0; i < kNumSecondaryLengths; ++i) length[i] += other.length[i];
  for (unsigned i = 0; i < kAlignedSymbols; ++i) aligned[i] += other.aligned[i];
}

std::uint64_t SymbolCounts::ExtraBitsSent() const {
  std::uint64_t bits = 0;
  for (unsigned slot = 0; slot < kMaxPositionSlots; ++slot) {
    std::uint64_t uses = 0;
    for (unsigned header = 0; header < 8; ++header) uses += main[kNumChars + slot * 8 + header];
    bits += uses * ExtraBits(slot);
  }
  return bits;
}

std::uint64_t SymbolCounts::AlignedOffsets() const {
  // Exactly the offsets counted in aligned[].
  std::uint64_t offsets = 0;
  for (const std::uint32_t n : aligned) offsets += n;
  return offsets;
}

void CostModel::Guess(const std::uint8_t* data, std::size_t size) {
  // A byte's share of the interval prices it as a literal. The matches take
  // the common bytes away and make the rest dearer, but the shares still tell
  // a small alphabet (cheap literals, where short matches do not pay) from a
  // large one; flat prices took short matches in text with few repeats.
  // Eight bytes a load, into four tables: neighbouring bytes, often the
  // same, do not wait for each other's counts. A byte found nowhere counted
  // is priced as absent: rare enough not to matter.
  std::uint32_t lanes[4][kNumChars] = {};
  std::size_t i = 0;
  std::size_t counted = 0;
  for (; i + 8 <= size; i += kCountStride) {
    std::uint64_t v;
    std::memcpy(&v, data + i, 8);
    for (unsigned k = 0; k < 8; ++k) lanes[k & 3][(v >> (8 * k)) & 0xFF]++;
    counted += 8;
  }
  for (; i < size; ++i, ++counted) lanes[0][data[i]]++;
  std::uint32_t counts[kNumChars];
  for (unsigned c = 0; c < kNumChars; ++c) counts[c] = lanes[0][c] + lanes[1][c] + lanes[2][c] + lanes[3][c];
  const std::uint32_t whole = Log2Scaled(counted);
  for (unsigned c = 0; c < kNumChars; ++c) {
    literal_[c] = counts[c] != 0 ? std::min(whole - Log2Scaled(counts[c]), kPriceScale * kMaxCodeLength)
                                 : kPriceScale * kAbsentLiteralBits;
  }
  std::uint64_t literals = 0;
  for (unsigned c = 0; c < kNumChars; ++c) literals += std::uint64_t{counts[c]} * literal_[c];
  cheap_literals_ = literals < std::uint64_t{kCheapLiteralBits} * kPriceScale * counted;
  const unsigned match_bits = cheap_literals_ ? kCheapLiteralMatchSymbolBits : kMatchSymbolBits;
  for (unsigned m = 0; m < kMaxMainSymbols - kNumChars; ++m) {
    const unsigned slot = m / 8;
    match_[m] = kPriceScale * ((slot < 3 ? kRepeatSymbolBits[slot] : match_bits) + ExtraBits(slot));
  }
  for (auto& f : footer_) f = kPriceScale * kFooterBits;
}

void CostModel::Learn(const SymbolCounts& counts, unsigned main_symbols) {
  std::uint64_t total = 0;
  for (unsigned i = 0; i < main_symbols; ++i) total += counts.main[i];
  if (total == 0) return;
  const std::uint32_t whole = Log2Scaled(total);
  const std::uint32_t unused = std::min(whole + kPriceScale * kUnusedSymbolExtraBits, kPriceScale * kMaxCodeLength);
  const auto price = [&](std::uint32_t count) {
    return count != 0 ? std::min(whole - Log2Scaled(count), kPriceScale * kMaxCodeLength) : unused;
  };
  for (unsigned c = 0; c < kNumChars; ++c) literal_[c] = price(counts.main[c]);
  for (unsigned m = 0; m < main_symbols - kNumChars; ++m) {
    match_[m] = price(counts.main[kNumChars + m]) + kPriceScale * ExtraBits(m / 8);
  }
  std::uint64_t footers = 0;
  for (unsigned i = 0; i < kNumSecondaryLengths; ++i) footers += counts.length[i];
  if (footers == 0) return;
  const std::uint32_t all_footers = Log2Scaled(footers);
  for (unsigned i = 0; i < kNumSecondaryLengths; ++i) {
    footer_[i] = std::min(counts.length[i] != 0 ? all_footers - Log2Scaled(counts.length[i])
                                                : all_footers + kPriceScale * kUnusedSymbolExtraBits,
                          kPriceScale * kMaxCodeLength);
  }
}

}  // namespace helpbook::lzx
