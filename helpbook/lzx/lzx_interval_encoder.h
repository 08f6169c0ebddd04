// Compresses one reset interval: a self-contained LZX stream of whole 32 KiB
// frames (the last may be shorter) that a decoder reads right after a reset.
// The parts: the match finder (lzx_match_finder), the prices (lzx_cost_model),
// the parser (lzx_lazy_parser), the block planner and the emitter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "helpbook/lzx/lzx_block_planner.h"
#include "helpbook/lzx/lzx_cost_model.h"
#include "helpbook/lzx/lzx_lazy_parser.h"

namespace helpbook::lzx {

class IntervalEncoder {
 public:
  explicit IntervalEncoder(unsigned window_bits);

  // Appends the compressed interval to *out (whose size it leaves even) and
  // the offset of each frame's first byte, relative to where it started, to
  // *frame_offsets.
  void Encode(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>* out,
              std::vector<std::uint32_t>* frame_offsets);

 private:
  unsigned main_symbols_;
  CostModel costs_;
  LazyParser parser_;
  ParsedInterval parsed_;
  std::vector<PlannedBlock> blocks_;
};

}  // namespace helpbook::lzx
