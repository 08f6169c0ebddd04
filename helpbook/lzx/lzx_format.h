// Fixed facts of the LZX bitstream shared by the encoder's parts.
#pragma once

#include <cstdint>

namespace helpbook::lzx {

inline constexpr unsigned kNumChars = 256;
inline constexpr unsigned kMinMatch = 2;
inline constexpr unsigned kMaxMatch = 257;
inline constexpr unsigned kNumPrimaryLengths = 7;
inline constexpr unsigned kNumSecondaryLengths = 249;
inline constexpr unsigned kPretreeSymbols = 20;
inline constexpr unsigned kAlignedSymbols = 8;
inline constexpr unsigned kMaxPositionSlots = 50;
inline constexpr unsigned kMaxMainSymbols = kNumChars + 8 * kMaxPositionSlots;
inline constexpr unsigned kMaxCodeLength = 16;
inline constexpr unsigned kMaxPretreeCodeLength = 15;  // 4-bit length fields
inline constexpr unsigned kMaxAlignedCodeLength = 7;   // 3-bit length fields

enum BlockType : unsigned { kVerbatim = 1, kAligned = 2, kUncompressed = 3 };

// Position slots in use for a window of 2^window_bits bytes (15..21).
constexpr unsigned PositionSlots(unsigned window_bits) {
  constexpr unsigned kSlots[] = {30, 32, 34, 36, 38, 42, 50};
  return kSlots[window_bits - 15];
}

constexpr unsigned ExtraBits(unsigned slot) {
  return slot < 4 ? 0 : slot < 36 ? slot / 2 - 1 : 17;
}

struct SlotBases {
  std::uint32_t base[kMaxPositionSlots + 1] = {};
  constexpr SlotBases() {
    for (unsigned i = 0; i < kMaxPositionSlots; ++i) base[i + 1] = base[i] + (1u << ExtraBits(i));
  }
};
inline constexpr SlotBases kSlotBases;

// The slot of a formatted offset: 0..2 name the repeat offsets, a real
// distance d is formatted as d + 2.
// Below 262144 the slot follows from the top two bits, from 2 on.
inline unsigned SlotOfNear(std::uint32_t formatted) {
  const unsigned top = 31u - static_cast<unsigned>(__builtin_clz(formatted));
  return 2 * top + ((formatted >> (top - 1)) & 1u);
}
inline unsigned SlotOf(std::uint32_t formatted) {
  if (formatted < 4) return formatted;
  if (formatted >= 262144) return 36 + (formatted - 262144) / 131072;
  return SlotOfNear(formatted);
}

}  // namespace helpbook::lzx
