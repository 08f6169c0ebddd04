// Length-limited canonical prefix codes, as LZX transmits them: only the code
// lengths travel, and codes follow from them in symbol order.
#pragma once

#include <cstdint>

namespace helpbook::lzx {

// Code lengths for `count` symbols with frequencies `freqs`, none longer than
// max_length. Unused symbols get 0. The code is always complete with at least
// two symbols (decoders reject a lone code or a partial tree), so one or two
// unused symbols may get a length too. count >= 2.
void BuildCodeLengths(const std::uint32_t* freqs, unsigned count, unsigned max_length,
                      std::uint8_t* lengths);

// Canonical codes: shorter codes first, ties in symbol order.
void AssignCodes(const std::uint8_t* lengths, unsigned count, std::uint16_t* codes);

}  // namespace helpbook::lzx
