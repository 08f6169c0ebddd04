// What the parser weighs its choices with: the price of each symbol in
// sixteenths of a bit, and the symbol counts a parse leaves for the codes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "helpbook/lzx/lzx_format.h"

namespace helpbook::lzx {

// One parsed element: a literal (length 0) or a match. Matches carry the
// formatted offset: 0..2 for the repeat offsets, distance + 2 otherwise,
// and its slot, worked out once for counting and sending.
struct Item {
  std::uint16_t length;
  std::uint8_t literal;
  std::uint8_t slot;
  std::uint32_t offset;
};

// The main symbol of a match: its offset's slot and its length header.
inline unsigned MatchHeader(unsigned length) {
  return length - kMinMatch < kNumPrimaryLengths ? length - kMinMatch : kNumPrimaryLengths;
}

struct SymbolCounts {
  std::uint32_t main[kMaxMainSymbols] = {};
  std::uint32_t length[kNumSecondaryLengths] = {};
  std::uint32_t aligned[kAlignedSymbols] = {};

  void Count(const Item& item);  // inline: once per item in the parser's loop
  void Add(const SymbolCounts& other);
  // Offset bits sent verbatim, and the offsets with 3 or more of them: worked
  // out from the slots' counts when a block is planned, not summed at every
  // match: 0.6 % fewer instructions on the man pages and long prose, 2 % on
  // text with few repeats.
  std::uint64_t ExtraBitsSent() const;
  std::uint64_t AlignedOffsets() const;
};

inline void SymbolCounts::Count(const Item& item) {
  if (item.length == 0) {
    main[item.literal]++;
    return;
  }
  const unsigned slot = item.slot;
  const unsigned header = MatchHeader(item.length);
  main[kNumChars + slot * 8 + header]++;
  if (header == kNumPrimaryLengths) length[item.length - kMinMatch - kNumPrimaryLengths]++;
  if (ExtraBits(slot) >= 3) aligned[(item.offset - kSlotBases.base[slot]) & 7]++;
}

// Fractions of a bit: whole bits would round a 2.6-bit literal to 3.
inline constexpr std::uint32_t kPriceScale = 16;

// log2(v) in sixteenths of a bit, v >= 1. Whole numbers, so that the books
// come out the same on every machine and compiler.
std::uint32_t Log2Scaled(std::uint64_t v);

class CostModel {
 public:
  // Prices before any parse of the interval: literals by how often each byte
  // occurs in it, match symbols by fixed guesses.
  void Guess(const std::uint8_t* data, std::size_t size);
  // Prices from the symbols an earlier part of the interval used: the codes
  // the next frames are likely to be sent with.
  void Learn(const SymbolCounts& counts, unsigned main_symbols);

  std::uint32_t Literal(std::uint8_t c) const { return literal_[c]; }
  // Whether the guessed literals cost under 4 bits on average: a small
  // alphabet, where a match must be long to pay.
  bool CheapLiterals() const { return cheap_literals_; }
  std::uint32_t Match(unsigned length, std::uint32_t formatted) const { return SlotMatch(length, SlotOf(formatted)); }
  std::uint32_t SlotMatch(unsigned length, unsigned slot) const {
    const unsigned header = MatchHeader(length);
    std::uint32_t price = match_[slot * 8 + header];
    if (header == kNumPrimaryLengths) price += footer_[length - kMinMatch - kNumPrimaryLengths];
    return price;
  }

 private:
  std::uint32_t literal_[kNumChars];
  bool cheap_literals_ = false;
  // By slot * 8 + length header: the symbol and the slot's offset bits.
  std::uint32_t match_[kMaxMainSymbols - kNumChars];
  std::uint32_t footer_[kNumSecondaryLengths];
};

}  // namespace helpbook::lzx
