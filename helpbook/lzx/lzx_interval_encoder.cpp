#include "helpbook/lzx/lzx_interval_encoder.h"

#include "helpbook/lzx/lzx_bit_writer.h"
#include "helpbook/lzx/lzx_block_emitter.h"

namespace helpbook::lzx {

namespace {

constexpr std::uint32_t kFrame = 0x8000;
// How many earlier places with the same four bytes the parser looks at, and
// the match length that ends the search. From 16 and 48, 32 and 64 found
// 0.3 % more in the man pages for 3 % more instructions, and 48 and 128
// another 0.1 % for 2 % more; deeper chains cost more in text with few
// repeats, where every chain is full and nothing long is found.
constexpr unsigned kMaxChain = 48;
constexpr unsigned kNiceLength = 128;

}  // namespace

IntervalEncoder::IntervalEncoder(unsigned window_bits)
    : main_symbols_(kNumChars + 8 * PositionSlots(window_bits)), parser_(window_bits, kMaxChain, kNiceLength) {}

void IntervalEncoder::Encode(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>* out,
                             std::vector<std::uint32_t>* frame_offsets) {
  if (size == 0) return;
  costs_.Guess(data, size);
  parser_.Parse(data, size, kFrame, main_symbols_, &costs_, &parsed_);
  PlanBlocks(parsed_.frame_counts, size, kFrame, main_symbols_, &blocks_);

  const std::size_t out_start = out->size();
  frame_offsets->push_back(0);
  BitWriter bits(out);
  bits.Write(0, 1);  // no call-instruction translation
  PreviousLengths before;
  for (const PlannedBlock& block : blocks_) {
    EmitBlock(block, parsed_, data, size, kFrame, main_symbols_, before, &bits, out_start, frame_offsets);
    before.After(block.codes);
  }
  bits.Flush();
}

}  // namespace helpbook::lzx
