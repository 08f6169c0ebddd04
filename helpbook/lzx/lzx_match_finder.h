// Finds earlier occurrences of the bytes at a position within one reset
// interval: hash chains on the first few bytes (four, or more where short
// matches cannot pay), and one table entry per three-byte hash for the short
// matches the chains leave out.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace helpbook::lzx {

// How many bytes at a and b agree, up to limit.
inline unsigned MatchLength(const std::uint8_t* a, const std::uint8_t* b, unsigned limit) {
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

// An earlier occurrence: its length and how far back it starts.
struct Match {
  std::uint32_t length;
  std::uint32_t distance;
};

// Slot: the type of a table entry, which holds a stored position (below).
// Two bytes suffice for intervals of up to 64 KiB, the usual size, and halve
// the tables, so that fewer of their lines leave the core's cache: the man
// pages and text with few repeats took 4 % less time than with four bytes.
// Longer intervals take four.
template <typename Slot>
class BasicMatchFinder {
 public:
  BasicMatchFinder(unsigned window_bits, unsigned nice_length);

  // Whether intervals of `size` (> 0) bytes fit the tables' entries.
  static constexpr bool Holds(std::size_t size) { return size - 1 <= std::size_t{Slot(~Slot{0})}; }
  // Whether every distance found is below 262142 (formatted, below 262144).
  static constexpr bool kNearOnly = sizeof(Slot) <= 2;

  // Forgets every position: a new interval of `size` bytes starts, searched
  // up to max_chain earlier places at each position for matches of at least
  // `shortest` bytes (3..8); the chains hash max(shortest, 4) bytes.
  void Reset(unsigned max_chain, unsigned shortest, std::size_t size);

  // Writes to `found` the matches at pos of at most `limit` bytes, each
  // longer than longer_than and than the one before, nearest first, and
  // returns how many: the last is the longest found. `found` must hold
  // kMaxFound. Then pos is remembered for later positions. The walk only
  // writes, so that its state stays in registers; the caller weighs after.
  static constexpr unsigned kMaxFound = 256;
  inline __attribute__((always_inline)) unsigned FindAndInsert(const std::uint8_t* data, std::size_t size,
                                                               std::uint32_t pos, unsigned limit, unsigned longer_than,
                                                               Match* found);
  // The same where the caller knows short_matches(), as Reset left it: a
  // parse loop that knows it is spared the test at every search.
  template <bool kShortMatches>
  inline __attribute__((always_inline)) unsigned FindAndInsertKnowing(const std::uint8_t* data, std::size_t size,
                                                                      std::uint32_t pos, unsigned limit,
                                                                      unsigned longer_than, Match* found);
  // Whether matches of three bytes are looked for.
  bool short_matches() const { return shortest_ <= 3; }
  // Remembers from..to-1 without looking: the positions lie inside a chosen match.
  inline void Insert(const std::uint8_t* data, std::size_t size, std::uint32_t from, std::uint32_t to);

  unsigned nice_length() const { return nice_length_; }

 private:
  // kShortMatches: matches from three bytes, the chains on four, known when
  // compiling; otherwise as Reset set. Find serves the last eight positions
  // of an interval: rare, kept out of the callers' loops.
  template <bool kShortMatches>
  __attribute__((noinline)) unsigned Find(const std::uint8_t* data, std::size_t size, std::uint32_t pos, unsigned limit,
                                          unsigned longer_than, Match* found);
  // Insert where the eight bytes at each position lie inside the interval,
  // as nearly always, and anywhere. Kept apart and out of line: the common
  // one needs few registers, so that a call costs few instructions (2 % fewer
  // on the man pages and long prose than one Insert for both).
  __attribute__((noinline)) void InsertInside(const std::uint8_t* data, std::uint32_t from, std::uint32_t to);
  __attribute__((noinline)) void InsertAny(const std::uint8_t* data, std::size_t size, std::uint32_t from,
                                           std::uint32_t to);
  // Find where the eight bytes at pos lie inside the interval, as nearly all
  // do: no bounds to check, and the chain walk keeps everything in registers.
  template <bool kShortMatches>
  unsigned FindInside(const std::uint8_t* data, std::uint32_t pos, unsigned limit, unsigned longer_than, Match* found);

  // 64 K heads each: a 64 KiB window holds that many positions.
  static constexpr unsigned kHash3Bits = 16;
  static constexpr unsigned kChainHashBits = 16;
  static constexpr std::uint64_t kThreeBytes = 0xFFFFFF;
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a position's first bytes are the low bytes of a load");

  // The eight bytes at pos, zeros past the end: one load serves both hashes.
  static std::uint64_t BytesAt(const std::uint8_t* data, std::size_t size, std::uint32_t pos) {
    std::uint64_t v = 0;
    if (pos + 8 <= size) {
      std::memcpy(&v, data + pos, 8);
      return v;
    }
    for (unsigned i = 0; pos + i < size; ++i) v |= std::uint64_t{data[pos + i]} << (8 * i);
    return v;
  }
  static std::uint32_t HashOf(std::uint64_t bytes, unsigned bits) {
    return static_cast<std::uint32_t>((bytes * 0x9E3779B97F4A7C15ull) >> (64 - bits));
  }
  // Prefixes of up to four bytes hash in 32 bits: the multiplier is an
  // immediate operand, not a constant kept in a register.
  static std::uint32_t HashOf32(std::uint32_t bytes, unsigned bits) { return (bytes * 0x9E3779B1u) >> (32 - bits); }
  static std::uint32_t Hash3(std::uint64_t bytes) {
    return HashOf32(static_cast<std::uint32_t>(bytes & kThreeBytes), kHash3Bits);
  }
  static std::uint32_t ChainHash(std::uint64_t bytes, std::uint64_t chain_mask) {
    return chain_mask == 0xFFFFFFFFu ? HashOf32(static_cast<std::uint32_t>(bytes), kChainHashBits)
                                     : HashOf(bytes & chain_mask, kChainHashBits);
  }
  static std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }

  std::uint32_t max_distance_;
  unsigned max_chain_ = 0;
  unsigned shortest_ = 3;
  unsigned chain_bytes_ = 4;
  std::uint64_t chain_mask_ = 0xFFFFFFFFu;
  unsigned nice_length_;
  // Two-byte entries index a link for every position of the interval, not
  // of the window: a stored position is its own index, no mask in the walk.
  static constexpr bool kWholeSlots = sizeof(Slot) == 2;
  std::uint32_t window_mask_;
  // Positions are kept as base_ + position. base_ moves past each interval,
  // so what earlier intervals left lies below it and counts as empty: with
  // four-byte entries the tables are cleared only when base_ runs out, not
  // for every interval. Two-byte entries are cleared for each: base_ is 1.
  std::uint32_t Stored(std::uint32_t pos) const { return base_ + pos; }
  std::uint32_t base_ = 0;
  std::uint32_t next_base_ = 0;
  // Allocated by the first Reset: a parser holds a finder of each kind and
  // most books use only one.
  std::vector<Slot> head3_;
  std::vector<Slot> head4_;
  std::vector<Slot> prev_;
};

extern template class BasicMatchFinder<std::uint16_t>;
extern template class BasicMatchFinder<std::uint32_t>;

template <typename Slot>
template <bool kShortMatches>
unsigned BasicMatchFinder<Slot>::Find(const std::uint8_t* data, std::size_t size, std::uint32_t pos, unsigned limit,
                                      unsigned longer_than, Match* found) {
  Match* const first = found;
  if (pos + 3 > size) return static_cast<unsigned>(found - first);
  const std::uint8_t* here = data + pos;
  // Stored positions below this are too far back or from an earlier interval.
  const std::uint32_t lowest = Stored(pos > max_distance_ ? pos - max_distance_ : 0);
  unsigned seen = std::max(longer_than, kShortMatches ? 2u : shortest_ - 1);
  const unsigned chain_bytes = kShortMatches ? 4u : chain_bytes_;
  const std::uint64_t chain_mask = kShortMatches ? 0xFFFFFFFFu : chain_mask_;
  const std::uint64_t bytes = BytesAt(data, size, pos);

  std::uint32_t candidate3 = 0;
  if (kShortMatches) {
    Slot& head3 = head3_[Hash3(bytes)];
    candidate3 = head3;
    head3 = static_cast<Slot>(Stored(pos));
  }
  if (pos + chain_bytes > size) {
    if (limit >= 3 && seen < 3 && candidate3 >= lowest && MatchLength(here, data + (candidate3 - base_), 3) == 3) {
      *found++ = {3u, Stored(pos) - candidate3};
    }
    return static_cast<unsigned>(found - first);
  }
  Slot& head = head4_[ChainHash(bytes, chain_mask)];
  std::uint32_t candidate = head;
  prev_[Stored(pos) & window_mask_] = head;
  head = static_cast<Slot>(Stored(pos));
  // The next position's heads, most often searched next, on their way to the
  // cache: 2 % less time on the man pages, 8 % on text with few repeats.
  __builtin_prefetch(&head4_[ChainHash(bytes >> 8, chain_mask)]);
  if (kShortMatches) __builtin_prefetch(&head3_[Hash3(bytes >> 8)]);
  if (limit < 3 || seen >= limit) return static_cast<unsigned>(found - first);

  // The nearest three-byte match: the chains only hold longer prefixes.
  const auto first4 = static_cast<std::uint32_t>(bytes);
  if (kShortMatches && seen < 3 && candidate3 >= lowest) {
    // Four bytes there lie inside: the candidate is before pos.
    const std::uint8_t* there = data + (candidate3 - base_);
    if (((Load32(there) ^ first4) & kThreeBytes) == 0) {
      const unsigned len = MatchLength(here, there, limit);
      seen = len;
      *found++ = {len, Stored(pos) - candidate3};
      if (len >= nice_length_ || len >= limit) return static_cast<unsigned>(found - first);
    }
  }
  for (unsigned chain = max_chain_; candidate >= lowest && chain != 0; --chain) {
    const std::uint32_t at = candidate - base_;
    const std::uint8_t* there = data + at;
    if (there[seen] == here[seen] && Load32(there) == first4) {
      const unsigned len = MatchLength(here, there, limit);
      if (len > seen) {
        seen = len;
        *found++ = {len, pos - at};
        if (len >= nice_length_ || len >= limit) break;
      }
    }
    candidate = prev_[candidate & window_mask_];
  }
  return static_cast<unsigned>(found - first);
}

template <typename Slot>
template <bool kShortMatches>
inline __attribute__((always_inline)) unsigned BasicMatchFinder<Slot>::FindInside(const std::uint8_t* data,
                                                                                  std::uint32_t pos, unsigned limit,
                                                                                  unsigned longer_than, Match* found) {
  Match* const first = found;
  const std::uint8_t* here = data + pos;
  std::uint64_t bytes;
  std::memcpy(&bytes, here, 8);
  const std::uint32_t base = base_;
  const std::uint32_t stored = base + pos;
  const std::uint32_t lowest = pos > max_distance_ ? stored - max_distance_ : base;
  const std::uint32_t mask = window_mask_;
  Slot* const prev = prev_.data();
  // Stored positions index the bytes directly: data - base, as a number.
  const std::uintptr_t origin = reinterpret_cast<std::uintptr_t>(data) - base;
  const auto at = [origin](std::uint32_t candidate) {
    return reinterpret_cast<const std::uint8_t*>(origin + candidate);
  };
  unsigned seen = std::max(longer_than, kShortMatches ? 2u : shortest_ - 1);
  const std::uint64_t chain_mask = kShortMatches ? 0xFFFFFFFFu : chain_mask_;

  std::uint32_t candidate3 = 0;
  if (kShortMatches) {
    Slot& head3 = head3_[Hash3(bytes)];
    candidate3 = head3;
    head3 = static_cast<Slot>(stored);
  }
  Slot& head = head4_[ChainHash(bytes, chain_mask)];
  std::uint32_t candidate = head;
  prev[kWholeSlots ? static_cast<Slot>(stored) : stored & mask] = static_cast<Slot>(candidate);
  head = static_cast<Slot>(stored);
  __builtin_prefetch(&head4_[ChainHash(bytes >> 8, chain_mask)]);
  if (kShortMatches) __builtin_prefetch(&head3_[Hash3(bytes >> 8)]);
  if (limit < 3 || seen >= limit) return static_cast<unsigned>(found - first);

  const auto first4 = static_cast<std::uint32_t>(bytes);
  if (kShortMatches && seen < 3 && candidate3 >= lowest) {
    const std::uint8_t* there = at(candidate3);
    if (((Load32(there) ^ first4) & kThreeBytes) == 0) {
      const unsigned len = MatchLength(here, there, limit);
      seen = len;
      *found++ = {len, stored - candidate3};
      if (len >= nice_length_ || len >= limit) return static_cast<unsigned>(found - first);
    }
  }
  if (candidate < lowest || max_chain_ == 0) return static_cast<unsigned>(found - first);
  const unsigned nice = std::min(nice_length_, limit);
  // The byte at `seen` tells most candidates apart: it is looked at first,
  // at origin + seen + candidate, so that the walk keeps few values.
  std::uint8_t want = here[seen];
  std::uintptr_t probe = origin + seen;
  for (unsigned chain = max_chain_;;) {
    if (*reinterpret_cast<const std::uint8_t*>(probe + candidate) == want) {
      const std::uint8_t* there = at(candidate);
      if (Load32(there) == first4) {
        const unsigned len = MatchLength(here, there, limit);
        if (len > seen) {
          seen = len;
          *found++ = {len, stored - candidate};
          if (len >= nice) break;
          want = here[seen];
          probe = origin + seen;
        }
      }
    }
    if (--chain == 0) break;
    candidate = prev[kWholeSlots ? candidate : candidate & mask];
    if (candidate < lowest) break;
  }
  return static_cast<unsigned>(found - first);
}

template <typename Slot>
inline unsigned BasicMatchFinder<Slot>::FindAndInsert(const std::uint8_t* data, std::size_t size, std::uint32_t pos,
                                                      unsigned limit, unsigned longer_than, Match* found) {
  return short_matches() ? FindAndInsertKnowing<true>(data, size, pos, limit, longer_than, found)
                         : FindAndInsertKnowing<false>(data, size, pos, limit, longer_than, found);
}

template <typename Slot>
template <bool kShortMatches>
inline unsigned BasicMatchFinder<Slot>::FindAndInsertKnowing(const std::uint8_t* data, std::size_t size,
                                                             std::uint32_t pos, unsigned limit, unsigned longer_than,
                                                             Match* found) {
  if (__builtin_expect(pos + 8 <= size, 1)) return FindInside<kShortMatches>(data, pos, limit, longer_than, found);
  return Find<kShortMatches>(data, size, pos, limit, longer_than, found);
}

template <typename Slot>
inline void BasicMatchFinder<Slot>::Insert(const std::uint8_t* data, std::size_t size, std::uint32_t from,
                                           std::uint32_t to) {
  if (__builtin_expect(std::size_t{to} + 7 <= size, 1)) {
    InsertInside(data, from, to);
  } else {
    InsertAny(data, size, from, to);
  }
}

template <typename Slot>
void BasicMatchFinder<Slot>::InsertInside(const std::uint8_t* data, std::uint32_t from, std::uint32_t to) {
  // Locals, not members: the stores into the tables would make the
  // compiler read the members again for every position.
  Slot* const head4 = head4_.data();
  Slot* const prev = prev_.data();
  const std::uint32_t mask = window_mask_;
  const std::uint8_t* p = data + from;
  const std::uint8_t* const end = data + to;
  std::uint32_t stored = Stored(from);
  std::uint64_t bytes;
  if (shortest_ <= 3) {
    // The chains hash four bytes.
    Slot* const head3 = head3_.data();
    if (kWholeSlots) {
      // A stored position is its own link's index and, eight bytes before
      // the end, never wraps: the link is a pointer that steps along. 1 %
      // fewer instructions on generated pages, 0.1 % on the man pages.
      for (Slot* link = prev + stored; p < end; ++p, ++stored, ++link) {
        std::memcpy(&bytes, p, 8);
        head3[Hash3(bytes)] = static_cast<Slot>(stored);
        Slot& head = head4[HashOf32(static_cast<std::uint32_t>(bytes), kChainHashBits)];
        *link = head;
        head = static_cast<Slot>(stored);
      }
      return;
    }
    for (; p < end; ++p, ++stored) {
      std::memcpy(&bytes, p, 8);
      head3[Hash3(bytes)] = static_cast<Slot>(stored);
      Slot& head = head4[HashOf32(static_cast<std::uint32_t>(bytes), kChainHashBits)];
      prev[stored & mask] = head;
      head = static_cast<Slot>(stored);
    }
  } else {
    const std::uint64_t chain_mask = chain_mask_;
    for (; p < end; ++p, ++stored) {
      std::memcpy(&bytes, p, 8);
      Slot& head = head4[ChainHash(bytes, chain_mask)];
      prev[kWholeSlots ? static_cast<Slot>(stored) : stored & mask] = head;
      head = static_cast<Slot>(stored);
    }
  }
}

template <typename Slot>
void BasicMatchFinder<Slot>::InsertAny(const std::uint8_t* data, std::size_t size, std::uint32_t from,
                                       std::uint32_t to) {
  // Inside matches, where most positions are, the eight bytes at each lie
  // within the interval: no bounds to check.
  const auto inside_end = static_cast<std::uint32_t>(std::min<std::size_t>(to, size >= 8 ? size - 7 : 0));
  std::uint32_t pos = from;
  std::uint64_t bytes;
  // Locals, not members: the stores into the tables would make the
  // compiler read the members again for every position.
  Slot* const head3 = head3_.data();
  Slot* const head4 = head4_.data();
  Slot* const prev = prev_.data();
  const std::uint64_t chain_mask = chain_mask_;
  const std::uint32_t mask = window_mask_;
  if (pos < inside_end) {
    std::uint32_t stored = Stored(pos);
    const std::uint32_t stored_end = Stored(inside_end);
    const std::uint8_t* p = data + pos;
    if (shortest_ <= 3) {
      for (; stored != stored_end; ++stored, ++p) {
        std::memcpy(&bytes, p, 8);
        head3[Hash3(bytes)] = static_cast<Slot>(stored);
        Slot& head = head4[ChainHash(bytes, chain_mask)];
        prev[kWholeSlots ? static_cast<Slot>(stored) : stored & mask] = head;
        head = static_cast<Slot>(stored);
      }
    } else {
      for (; stored != stored_end; ++stored, ++p) {
        std::memcpy(&bytes, p, 8);
        Slot& head = head4[ChainHash(bytes, chain_mask)];
        prev[kWholeSlots ? static_cast<Slot>(stored) : stored & mask] = head;
        head = static_cast<Slot>(stored);
      }
    }
    pos = inside_end;
  }
  for (; pos < to && pos + 3 <= size; ++pos) {
    bytes = BytesAt(data, size, pos);
    if (shortest_ <= 3) head3_[Hash3(bytes)] = static_cast<Slot>(Stored(pos));
    if (pos + chain_bytes_ > size) continue;
    Slot& head = head4_[ChainHash(bytes, chain_mask_)];
    prev_[Stored(pos) & window_mask_] = head;
    head = static_cast<Slot>(Stored(pos));
  }
}

}  // namespace helpbook::lzx
