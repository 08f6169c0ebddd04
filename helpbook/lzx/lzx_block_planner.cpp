#include "helpbook/lzx/lzx_block_planner.h"

#include <algorithm>
#include <iterator>

#include "helpbook/lzx/huffman_code.h"
#include "helpbook/lzx/lzx_tree_coding.h"

namespace helpbook::lzx {

namespace {

// Block type and size fields.
constexpr std::uint64_t kBlockHeaderBits = 3 + 24;
// Uncompressed: up to 16 bits of padding, three 32-bit repeat offsets.
constexpr std::uint64_t kStoredOverheadBits = 16 + 96;
// A block's size field has 24 bits.
constexpr std::uint64_t kMaxBlockBytes = (1u << 24) - 1;
// Codes of their own for the next frame are tried only where the entropy
// says they would save this many bits, about what a second set of trees
// costs: most frames join without trial codes. Trying every frame found
// 0.01 % more in the man pages, 0.003 % in long prose and nothing in
// generated pages or text with few repeats, for 2.5 % more instructions;
// at 1000 bits, 0.002 % more for 1.8 % more.
constexpr std::uint64_t kSplitGainToTry = 2000;

template <std::size_t N>
std::uint64_t CodedBits(const std::uint32_t (&freqs)[N], const std::uint8_t (&lengths)[N], unsigned count) {
  std::uint64_t bits = 0;
  for (unsigned i = 0; i < count; ++i) bits += std::uint64_t{freqs[i]} * lengths[i];
  return bits;
}

// The bits codes of their own for a and b would save against codes for
// both, by the symbols' entropy: trees and Huffman rounding left out.
std::uint64_t SplitGain(const SymbolCounts& a, const SymbolCounts& b, const SymbolCounts& joined,
                        unsigned main_symbols) {
  // Sum of c * log2(c) for each: entropy = total * log2(total) - that sum.
  std::uint64_t total_a = 0, total_b = 0, sum_a = 0, sum_b = 0, sum_j = 0;
  for (unsigned i = 0; i < main_symbols; ++i) {
    const std::uint32_t ca = a.main[i], cb = b.main[i];
    if ((ca | cb) == 0) continue;
    total_a += ca;
    total_b += cb;
    if (ca != 0) sum_a += std::uint64_t{ca} * Log2Scaled(ca);
    if (cb != 0) sum_b += std::uint64_t{cb} * Log2Scaled(cb);
    sum_j += std::uint64_t{joined.main[i]} * Log2Scaled(joined.main[i]);
  }
  if (total_a == 0 || total_b == 0) return 0;
  const auto entropy = [](std::uint64_t total, std::uint64_t sum) {
    const std::uint64_t whole = total * Log2Scaled(total);
    return whole > sum ? whole - sum : 0;
  };
  const std::uint64_t apart = entropy(total_a, sum_a) + entropy(total_b, sum_b);
  const std::uint64_t together = entropy(total_a + total_b, sum_j);
  return together > apart ? (together - apart) / kPriceScale : 0;
}

}  // namespace

void PreviousLengths::After(const BlockCodes& block) {
  if (block.type == kUncompressed) return;
  std::copy(std::begin(block.main), std::end(block.main), main);
  std::copy(std::begin(block.length), std::end(block.length), length);
}

void PlanBlock(const SymbolCounts& counts, const PreviousLengths& before, unsigned main_symbols,
               std::uint64_t raw_bytes, BlockCodes* codes) {
  BuildCodeLengths(counts.main, main_symbols, kMaxCodeLength, codes->main);
  BuildCodeLengths(counts.length, kNumSecondaryLengths, kMaxCodeLength, codes->length);
  std::uint64_t bits = kBlockHeaderBits;
  bits += TreeBits(before.main, codes->main, 0, kNumChars);
  bits += TreeBits(before.main, codes->main, kNumChars, main_symbols);
  bits += TreeBits(before.length, codes->length, 0, kNumSecondaryLengths);
  bits += CodedBits(counts.main, codes->main, main_symbols);
  bits += CodedBits(counts.length, codes->length, kNumSecondaryLengths);

  const std::uint64_t verbatim = counts.ExtraBitsSent();
  std::uint64_t aligned = verbatim + 1;
  if (const std::uint64_t aligned_offsets = counts.AlignedOffsets(); aligned_offsets != 0) {
    BuildCodeLengths(counts.aligned, kAlignedSymbols, kMaxAlignedCodeLength, codes->aligned);
    aligned = 3 * kAlignedSymbols + verbatim - 3 * aligned_offsets +
              CodedBits(counts.aligned, codes->aligned, kAlignedSymbols);
  }
  codes->type = aligned < verbatim ? kAligned : kVerbatim;
  bits += std::min(aligned, verbatim);

  const std::uint64_t stored = kBlockHeaderBits + kStoredOverheadBits + 8 * (raw_bytes + (raw_bytes & 1));
  if (stored <= bits) {
    codes->type = kUncompressed;
    bits = stored;
  }
  codes->bits = bits;
}

void PlanBlocks(const std::vector<SymbolCounts>& frame_counts, std::size_t size, std::size_t frame_size,
                unsigned main_symbols, std::vector<PlannedBlock>* blocks) {
  blocks->clear();
  const auto raw_bytes = [&](std::size_t first, std::size_t end) {
    return std::min(size, end * frame_size) - first * frame_size;
  };
  PreviousLengths before;
  for (std::size_t first = 0; first < frame_counts.size();) {
    PlannedBlock block{first, first + 1, {}};
    SymbolCounts counts = frame_counts[first];
    bool planned = false;  // whether block.codes are those of counts
    while (block.end_frame < frame_counts.size() && raw_bytes(first, block.end_frame + 1) <= kMaxBlockBytes) {
      const std::size_t next = block.end_frame;
      SymbolCounts joined = counts;
      joined.Add(frame_counts[next]);
      if (SplitGain(counts, frame_counts[next], joined, main_symbols) < kSplitGainToTry) {
        counts = joined;
        block.end_frame = next + 1;
        planned = false;
        continue;
      }
      if (!planned) PlanBlock(counts, before, main_symbols, raw_bytes(first, next), &block.codes);
      PreviousLengths after_block = before;
      after_block.After(block.codes);
      BlockCodes alone;
      PlanBlock(frame_counts[next], after_block, main_symbols, raw_bytes(next, next + 1), &alone);
      BlockCodes together;
      PlanBlock(joined, before, main_symbols, raw_bytes(first, next + 1), &together);
      if (together.bits > block.codes.bits + alone.bits) {
        planned = true;
        break;
      }
      counts = joined;
      block.codes = together;
      block.end_frame = next + 1;
      planned = true;
    }
    if (!planned) PlanBlock(counts, before, main_symbols, raw_bytes(first, block.end_frame), &block.codes);
    before.After(block.codes);
    blocks->push_back(block);
    first = block.end_frame;
  }
}

}  // namespace helpbook::lzx
