// How a block sends its code lengths: through a pretree, each length as a
// change from the same symbol's length in the block before.
#pragma once

#include <cstdint>

namespace helpbook::lzx {

class BitWriter;

// Bits that sending the lengths now[first, end) against before[] takes.
std::uint64_t TreeBits(const std::uint8_t* before, const std::uint8_t* now, unsigned first, unsigned end);
void WriteTree(const std::uint8_t* before, const std::uint8_t* now, unsigned first, unsigned end, BitWriter* bits);

}  // namespace helpbook::lzx
