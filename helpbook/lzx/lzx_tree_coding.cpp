#include "helpbook/lzx/lzx_tree_coding.h"

#include <cassert>

#include "helpbook/lzx/huffman_code.h"
#include "helpbook/lzx/lzx_bit_writer.h"
#include "helpbook/lzx/lzx_format.h"

namespace helpbook::lzx {

namespace {

// One symbol of the pretree coding of a run of code lengths.
struct PreSymbol {
  std::uint8_t symbol;
  std::uint8_t extra_count;
  std::uint8_t extra;
  std::uint8_t second;  // the length delta after a 19, else 0xFF
};

// At most one symbol a length: the longest run coded is every main symbol.
// On the stack, not in a vector: a block sizes three runs and sends three,
// and an allocation each took 0.4 % of the instructions on the man pages.
struct PreSymbols {
  PreSymbol symbols[kMaxMainSymbols];
  unsigned count = 0;
  void push_back(const PreSymbol& s) { symbols[count++] = s; }
  const PreSymbol* begin() const { return symbols; }
  const PreSymbol* end() const { return symbols + count; }
};

inline std::uint8_t Delta(std::uint8_t before, std::uint8_t now) {
  return static_cast<std::uint8_t>((before + 17 - now) % 17);
}

// Codes the lengths [first, end) against the previous block's: runs of zeros
// with 17 and 18, short runs of one length with 19, everything else as deltas.
void DeltaCode(const std::uint8_t* before, const std::uint8_t* now, unsigned first, unsigned end,
               PreSymbols* out) {
  assert(end - first <= kMaxMainSymbols);
  out->count = 0;
  for (unsigned i = first; i < end;) {
    if (now[i] == 0) {
      unsigned run = 1;
      while (i + run < end && run < 51 && now[i + run] == 0) ++run;
      if (run >= 20) {
        out->push_back({18, 5, static_cast<std::uint8_t>(run - 20), 0xFF});
        i += run;
        continue;
      }
      if (run >= 4) {
        out->push_back({17, 4, static_cast<std::uint8_t>(run - 4), 0xFF});
        i += run;
        continue;
      }
    }
    // Readers differ in whether a 19 run applies its delta to each old length
    // or to the first; runs over equal old lengths mean the same to both.
    unsigned run = 1;
    while (i + run < end && run < 5 && now[i + run] == now[i] && before[i + run] == before[i]) ++run;
    if (run >= 4) {
      out->push_back({19, 1, static_cast<std::uint8_t>(run - 4), Delta(before[i], now[i])});
      i += run;
      continue;
    }
    out->push_back({Delta(before[i], now[i]), 0, 0, 0xFF});
    ++i;
  }
}

struct PretreeCode {
  std::uint8_t lengths[kPretreeSymbols];
  std::uint64_t bits;
};

PretreeCode PlanPretree(const PreSymbols& symbols) {
  std::uint32_t freqs[kPretreeSymbols] = {};
  for (const PreSymbol& s : symbols) {
    freqs[s.symbol]++;
    if (s.second != 0xFF) freqs[s.second]++;
  }
  PretreeCode code{};
  BuildCodeLengths(freqs, kPretreeSymbols, kMaxPretreeCodeLength, code.lengths);
  code.bits = 4 * kPretreeSymbols;
  for (const PreSymbol& s : symbols) {
    code.bits += code.lengths[s.symbol] + s.extra_count;
    if (s.second != 0xFF) code.bits += code.lengths[s.second];
  }
  return code;
}

}  // namespace

std::uint64_t TreeBits(const std::uint8_t* before, const std::uint8_t* now, unsigned first, unsigned end) {
  PreSymbols symbols;
  DeltaCode(before, now, first, end, &symbols);
  return PlanPretree(symbols).bits;
}

void WriteTree(const std::uint8_t* before, const std::uint8_t* now, unsigned first, unsigned end, BitWriter* bits) {
  PreSymbols symbols;
  DeltaCode(before, now, first, end, &symbols);
  const PretreeCode code = PlanPretree(symbols);
  std::uint16_t codes[kPretreeSymbols];
  AssignCodes(code.lengths, kPretreeSymbols, codes);
  for (unsigned i = 0; i < kPretreeSymbols; ++i) bits->Write(code.lengths[i], 4);
  for (const PreSymbol& s : symbols) {
    bits->Write(codes[s.symbol], code.lengths[s.symbol]);
    if (s.extra_count) bits->Write(s.extra, s.extra_count);
    if (s.second != 0xFF) bits->Write(codes[s.second], code.lengths[s.second]);
  }
}

}  // namespace helpbook::lzx
