// Writes planned blocks as LZX bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "helpbook/lzx/lzx_block_planner.h"
#include "helpbook/lzx/lzx_lazy_parser.h"

namespace helpbook::lzx {

class BitWriter;

// Appends `block` of the interval `data` (size bytes) to *bits, its trees
// sent against `before`; each frame after the interval's first starts on a
// word, and its offset from out_start in the writer's output goes to
// *frame_offsets.
void EmitBlock(const PlannedBlock& block, const ParsedInterval& parsed, const std::uint8_t* data,
               std::size_t size, std::size_t frame_size, unsigned main_symbols, const PreviousLengths& before,
               BitWriter* bits, std::size_t out_start, std::vector<std::uint32_t>* frame_offsets);

}  // namespace helpbook::lzx
