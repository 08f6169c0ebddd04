#include "helpbook/lzx/lzx_block_emitter.h"

#include <algorithm>

#include "helpbook/lzx/huffman_code.h"
#include "helpbook/lzx/lzx_bit_writer.h"
#include "helpbook/lzx/lzx_tree_coding.h"

namespace helpbook::lzx {

namespace {

// The codes of one block's trees, as sent.
struct Codes {
  std::uint16_t main[kMaxMainSymbols];
  std::uint16_t length[kNumSecondaryLengths];
  std::uint16_t aligned[kAlignedSymbols];
};

// One literal or match, in the block's codes.
void EmitItem(const Item& item, const BlockCodes& c, const Codes& codes, BitWriter::Run* bits) {
  if (item.length == 0) {
    bits->Write(codes.main[item.literal], c.main[item.literal]);
    return;
  }
  const unsigned slot = item.slot;
  const unsigned header = MatchHeader(item.length);
  const unsigned symbol = kNumChars + slot * 8 + header;
  bits->Write(codes.main[symbol], c.main[symbol]);
  if (header == kNumPrimaryLengths) {
    const unsigned footer = item.length - kMinMatch - kNumPrimaryLengths;
    bits->Write(codes.length[footer], c.length[footer]);
  }
  const unsigned extra = ExtraBits(slot);
  if (extra == 0) return;
  const std::uint32_t value = item.offset - kSlotBases.base[slot];
  if (c.type == kAligned && extra >= 3) {
    if (extra > 3) bits->Write(value >> 3, extra - 3);
    bits->Write(codes.aligned[value & 7], c.aligned[value & 7]);
  } else {
    bits->Write(value, extra);
  }
}

}  // namespace

void EmitBlock(const PlannedBlock& block, const ParsedInterval& parsed, const std::uint8_t* data,
               std::size_t size, std::size_t frame_size, unsigned main_symbols, const PreviousLengths& before,
               BitWriter* bits, std::size_t out_start, std::vector<std::uint32_t>* frame_offsets) {
  auto mark_frame = [&]() { frame_offsets->push_back(static_cast<std::uint32_t>(bits->ByteSize() - out_start)); };
  const std::size_t begin = block.first_frame * frame_size;
  const std::size_t end = std::min(size, block.end_frame * frame_size);
  if (block.first_frame != 0) mark_frame();
  const BlockCodes& c = block.codes;
  bits->Write(c.type, 3);
  bits->Write(static_cast<std::uint32_t>(end - begin), 24);

  if (c.type == kUncompressed) {
    // One to sixteen bits of padding, then the repeat offsets the block leaves behind.
    if (bits->AtWordBoundary()) bits->Write(0, 16);
    bits->AlignToWord();
    for (std::uint32_t r : parsed.frame_repeats[block.end_frame - 1]) {
      for (int shift = 0; shift < 32; shift += 8) bits->WriteByte(static_cast<std::uint8_t>(r >> shift));
    }
    for (std::size_t f = block.first_frame; f < block.end_frame; ++f) {
      if (f != block.first_frame) mark_frame();
      const std::size_t from = f * frame_size;
      bits->WriteBytes(data + from, std::min(frame_size, size - from));
    }
    if ((end - begin) & 1) bits->WriteByte(0);
    return;
  }

  if (c.type == kAligned) {
    for (unsigned i = 0; i < kAlignedSymbols; ++i) bits->Write(c.aligned[i], 3);
  }
  WriteTree(before.main, c.main, 0, kNumChars, bits);
  WriteTree(before.main, c.main, kNumChars, main_symbols, bits);
  WriteTree(before.length, c.length, 0, kNumSecondaryLengths, bits);
  Codes codes;
  AssignCodes(c.main, main_symbols, codes.main);
  AssignCodes(c.length, kNumSecondaryLengths, codes.length);
  AssignCodes(c.aligned, kAlignedSymbols, codes.aligned);

  for (std::size_t f = block.first_frame; f < block.end_frame; ++f) {
    if (f != block.first_frame) mark_frame();
    {
      // Locals: the writer's stores could otherwise be the item bounds'.
      const Item* item = parsed.items.data() + parsed.frame_items[f];
      const Item* const items_end = parsed.items.data() + parsed.frame_items[f + 1];
      BitWriter::Run run(bits);
      for (; item != items_end; ++item) EmitItem(*item, c, codes, &run);
    }
    // Every frame's bits end on a word boundary.
    bits->AlignToWord();
  }
}

}  // namespace helpbook::lzx
