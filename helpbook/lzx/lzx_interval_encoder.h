// Compresses one reset interval: a self-contained LZX stream of whole 32 KiB
// frames (the last may be shorter) that a decoder reads right after a reset.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "helpbook/lzx/lzx_format.h"

namespace helpbook::lzx {

class BitWriter;

class IntervalEncoder {
 public:
  IntervalEncoder(unsigned window_bits, int level);

  // Appends the compressed interval to *out (whose size it leaves even) and
  // the offset of each frame's first byte, relative to where it started, to
  // *frame_offsets.
  void Encode(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>* out,
              std::vector<std::uint32_t>* frame_offsets);

 private:
  // One parsed element: a literal (length 0) or a match. Matches carry the
  // formatted offset: 0..2 for the repeat offsets, distance + 2 otherwise.
  struct Item {
    std::uint16_t length;
    std::uint8_t literal;
    std::uint32_t offset;
  };
  struct Candidate {
    unsigned length = 0;
    std::uint32_t offset = 0;
    int gain = 0;  // bits saved against literals
  };
  struct Stats {
    std::uint32_t main[kMaxMainSymbols] = {};
    std::uint32_t length[kNumSecondaryLengths] = {};
    std::uint32_t aligned[kAlignedSymbols] = {};
    std::uint64_t extra_bits = 0;      // offset bits sent verbatim
    std::uint64_t aligned_offsets = 0; // offsets with 3 or more extra bits
    void Add(const Stats& other);
  };
  struct Trees {
    std::uint8_t main[kMaxMainSymbols] = {};
    std::uint8_t length[kNumSecondaryLengths] = {};
    std::uint8_t aligned[kAlignedSymbols] = {};
    BlockType type = kVerbatim;
    std::uint64_t bits = 0;  // the whole block with its header
  };
  struct Block {
    std::size_t first_frame;
    std::size_t end_frame;
    Trees trees;
  };

  // What the parser weighs its choices with, in sixteenths of a bit.
  struct Prices {
    std::uint32_t literal[kNumChars];
    std::uint32_t match[kMaxMainSymbols - kNumChars];  // by slot * 8 + length header
    std::uint32_t footer[kNumSecondaryLengths];
  };

  void GuessPrices();
  void PricesFrom(const Stats& stats);
  int MatchGain(std::uint32_t pos, unsigned length, std::uint32_t formatted) const;
  // Cost of reaching a position in the optimal parse, and how it was reached.
  static constexpr std::uint32_t kUnreached = 0xFFFFFFFFu;
  struct Node {
    std::uint32_t cost = kUnreached;
    std::uint16_t length = 0;  // 0: by a literal
    std::uint32_t offset = 0;
    std::uint32_t repeat[3] = {1, 1, 1};
  };

  std::uint32_t MatchPrice(unsigned length, std::uint32_t formatted) const;
  // Every frame alone: matches never cross a frame's end.
  void Parse(const std::uint8_t* data, std::size_t size, bool optimal);
  void ParseLazy(const std::uint8_t* data, std::size_t size, std::uint32_t frame_start, std::uint32_t frame_end);
  void ParseOptimal(const std::uint8_t* data, std::size_t size, std::uint32_t frame_start, std::uint32_t frame_end);
  // Matches at pos longer than longer_than, each longer than the one before.
  void CollectMatches(const std::uint8_t* data, std::size_t size, std::uint32_t pos, std::uint32_t limit,
                      unsigned longer_than);
  Candidate FindAndInsert(const std::uint8_t* data, std::size_t size, std::uint32_t pos,
                          std::uint32_t limit);
  void Insert(const std::uint8_t* data, std::size_t size, std::uint32_t pos);
  void TakeMatch(const Candidate& c);
  void CountItems(std::size_t first, std::size_t end, Stats* stats) const;
  void PlanBlock(const Stats& stats, const std::uint8_t* prev_main, const std::uint8_t* prev_length,
                 std::uint64_t raw_bytes, Trees* trees) const;
  void PlanBlocks(std::size_t size);
  void EmitBlock(const Block& block, const std::uint8_t* data, std::size_t size, BitWriter* bits,
                 const std::uint8_t* prev_main, const std::uint8_t* prev_length,
                 const std::vector<std::uint8_t>& out, std::size_t out_start,
                 std::vector<std::uint32_t>* frame_offsets) const;

  unsigned main_symbols_;
  std::uint32_t max_distance_;
  unsigned max_chain_;
  unsigned nice_length_;
  bool lazy_;
  int passes_;

  std::vector<std::int32_t> head_;
  std::vector<std::int32_t> prev_;
  std::uint32_t window_mask_;
  std::uint32_t repeat_[3] = {1, 1, 1};

  Prices prices_;
  std::vector<std::uint32_t> literal_sum_;  // prices of the literals before each position
  std::vector<Node> nodes_;
  std::vector<Candidate> matches_;
  std::vector<std::uint32_t> path_;
  std::vector<Item> items_;
  std::vector<std::size_t> frame_items_;  // first item of each frame, plus the end
  std::vector<std::array<std::uint32_t, 3>> frame_repeats_;  // repeat offsets after each frame
  std::vector<Stats> frame_stats_;
  std::vector<Block> blocks_;
};

}  // namespace helpbook::lzx
