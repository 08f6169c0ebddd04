// Finds earlier occurrences of the bytes at a position within one reset
// interval: hash chains on four bytes, and one table entry per three-byte hash
// for the short matches the chains leave out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace helpbook::lzx {

struct Match {
  unsigned length;
  std::uint32_t distance;
};

class MatchFinder {
 public:
  MatchFinder(unsigned window_bits, unsigned nice_length);

  // Forgets every position: a new interval of `size` bytes starts, searched
  // up to max_chain earlier places at each position.
  void Reset(unsigned max_chain, std::size_t size);
  // Matches at pos of at most `limit` bytes, each longer than longer_than and
  // than the one before, into *matches (cleared first); the last is the
  // longest found. Then pos is remembered for later positions.
  void FindAndInsert(const std::uint8_t* data, std::size_t size, std::uint32_t pos, unsigned limit,
                     unsigned longer_than, std::vector<Match>* matches);
  // Remembers pos without looking: the position lies inside a chosen match.
  void Insert(const std::uint8_t* data, std::size_t size, std::uint32_t pos);

  unsigned nice_length() const { return nice_length_; }

 private:
  std::uint32_t max_distance_;
  unsigned max_chain_ = 0;
  unsigned nice_length_;
  std::uint32_t window_mask_;
  // Positions are kept as base_ + position. base_ moves past each interval,
  // so what earlier intervals left lies below it and counts as empty: the
  // tables are cleared only when base_ runs out, not for every 64 KiB.
  std::uint32_t Stored(std::uint32_t pos) const { return base_ + pos; }
  std::int64_t Position(std::uint32_t stored) const {
    return stored >= base_ ? std::int64_t{stored - base_} : -1;
  }
  std::uint32_t base_ = 0;
  std::uint32_t next_base_ = 0;
  std::vector<std::uint32_t> head3_;
  std::vector<std::uint32_t> head4_;
  std::vector<std::uint32_t> prev_;
};

// How many bytes at a and b agree, up to limit.
unsigned MatchLength(const std::uint8_t* a, const std::uint8_t* b, unsigned limit);

}  // namespace helpbook::lzx
