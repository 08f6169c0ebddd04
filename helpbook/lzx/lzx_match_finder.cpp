#include "helpbook/lzx/lzx_match_finder.h"

#include <algorithm>
#include <cstring>

namespace helpbook::lzx {

namespace {

// 64 K heads each: a 64 KiB window holds at most that many positions.
constexpr unsigned kHash3Bits = 16;
constexpr unsigned kHash4Bits = 16;

inline std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline std::uint32_t Hash3(const std::uint8_t* p) {
  const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  return (v * 2654435761u) >> (32 - kHash3Bits);
}

inline std::uint32_t Hash4(const std::uint8_t* p) { return (Load32(p) * 2654435761u) >> (32 - kHash4Bits); }

}  // namespace

unsigned MatchLength(const std::uint8_t* a, const std::uint8_t* b, unsigned limit) {
  unsigned len = 0;
  while (len + 8 <= limit) {
    std::uint64_t x, y;
    std::memcpy(&x, a + len, 8);
    std::memcpy(&y, b + len, 8);
    if (const std::uint64_t diff = x ^ y) return len + (static_cast<unsigned>(__builtin_ctzll(diff)) >> 3);
    len += 8;
  }
  while (len < limit && a[len] == b[len]) ++len;
  return len;
}

MatchFinder::MatchFinder(unsigned window_bits, unsigned nice_length)
    : max_distance_((1u << window_bits) - 3),
      nice_length_(nice_length),
      window_mask_((1u << window_bits) - 1),
      head3_(std::size_t{1} << kHash3Bits),
      head4_(std::size_t{1} << kHash4Bits),
      prev_(std::size_t{1} << window_bits) {}

void MatchFinder::Reset(unsigned max_chain, std::size_t size) {
  max_chain_ = max_chain;
  if (next_base_ == 0 || size >= std::size_t{0xFFFFFFFFu} - next_base_) {
    std::fill(head3_.begin(), head3_.end(), 0);
    std::fill(head4_.begin(), head4_.end(), 0);
    next_base_ = 1;  // 0 is below every base: empty
  }
  base_ = next_base_;
  next_base_ = static_cast<std::uint32_t>(base_ + size);
}

void MatchFinder::Insert(const std::uint8_t* data, std::size_t size, std::uint32_t pos) {
  if (pos + 3 > size) return;
  head3_[Hash3(data + pos)] = Stored(pos);
  if (pos + 4 > size) return;
  std::uint32_t& head = head4_[Hash4(data + pos)];
  prev_[pos & window_mask_] = head;
  head = Stored(pos);
}

void MatchFinder::FindAndInsert(const std::uint8_t* data, std::size_t size, std::uint32_t pos, unsigned limit,
                                unsigned longer_than, std::vector<Match>* matches) {
  matches->clear();
  if (pos + 3 > size) return;
  const std::uint8_t* here = data + pos;
  const std::int64_t lowest = std::int64_t{pos} - max_distance_;
  unsigned seen = std::max(longer_than, 2u);

  std::uint32_t& head3 = head3_[Hash3(here)];
  const std::int64_t candidate3 = Position(head3);
  head3 = Stored(pos);
  if (pos + 4 > size) {
    if (limit >= 3 && seen < 3 && candidate3 >= 0 && candidate3 >= lowest &&
        MatchLength(here, data + candidate3, 3) == 3) {
      matches->push_back({3, pos - static_cast<std::uint32_t>(candidate3)});
    }
    return;
  }
  std::uint32_t& head4 = head4_[Hash4(here)];
  std::int64_t candidate = Position(head4);
  prev_[pos & window_mask_] = head4;
  head4 = Stored(pos);
  if (limit < 3 || seen >= limit) return;

  // The nearest three-byte match: the chains only hold four-byte prefixes.
  if (seen < 3 && candidate3 >= 0 && candidate3 >= lowest) {
    const std::uint8_t* there = data + candidate3;
    if (there[0] == here[0] && there[1] == here[1] && there[2] == here[2]) {
      const unsigned len = MatchLength(here, there, limit);
      seen = len;
      matches->push_back({len, pos - static_cast<std::uint32_t>(candidate3)});
      if (len >= nice_length_ || len >= limit) return;
    }
  }
  const std::uint32_t first4 = Load32(here);
  for (unsigned chain = max_chain_; candidate >= 0 && candidate >= lowest && chain != 0; --chain) {
    const std::uint8_t* there = data + candidate;
    if (there[seen] == here[seen] && Load32(there) == first4) {
      const unsigned len = MatchLength(here, there, limit);
      if (len > seen) {
        seen = len;
        matches->push_back({len, pos - static_cast<std::uint32_t>(candidate)});
        if (len >= nice_length_ || len >= limit) break;
      }
    }
    candidate = Position(prev_[static_cast<std::uint32_t>(candidate) & window_mask_]);
  }
}

}  // namespace helpbook::lzx
