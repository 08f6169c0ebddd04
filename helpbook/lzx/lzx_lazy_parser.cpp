#include "helpbook/lzx/lzx_lazy_parser.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace helpbook::lzx {

namespace {

// Inside a match this long (near the longest LZX sends) only its first and
// last 32 positions go to the match finder: in generated help pages, whose
// text repeats in long runs, filling in every position took 30 % more
// instructions (and came out 2 % larger); the man pages lose 0.05 %. 64 at
// each end took 13 % more time on generated pages for 0.6 % less; 4 lost
// the man pages 0.07 %.
constexpr unsigned kSkimLength = 256;
constexpr unsigned kSkimEdge = 32;

// Where literals are cheap (a small alphabet), a match must be long to pay,
// and text like that has few long ones: in text with few repeats a quarter
// of the search depth found as much with a sixth fewer instructions; text
// whose literals cost more keeps the whole depth.
constexpr unsigned kCheapLiteralChainDivisor = 4;
// There, too, the chains hash six bytes, so that the many short matches are
// never looked at: text with few repeats took 2.6 times less time and came
// out 0.2 % smaller than with four (hashing 5 bytes: 1.4 times slower; 7: 0.1 %
// larger; 8: 0.5 % larger). Elsewhere the three-byte table stays: without
// it the man pages grew 0.9 %.
constexpr unsigned kCheapLiteralShortestMatch = 6;
constexpr unsigned kShortestMatch = 3;

// The literal prices a match would replace are summed in 16 bits, which wrap
// but still give the sum over up to 257 bytes at no more than 255 sixteenths
// of a bit each. Half the memory of 32-bit sums leaves more of the core's
// cache to the match finder's tables: 2 % less time on the man pages.
constexpr std::uint32_t kMaxLiteralPrice = 255;

// An item goes out in one eight-byte store, not one per field.
static_assert(sizeof(Item) == 8 && offsetof(Item, literal) == 2 && offsetof(Item, slot) == 3 &&
              offsetof(Item, offset) == 4 && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);
inline void PutItem(Item* out, std::uint64_t fields) { std::memcpy(out, &fields, sizeof(Item)); }

inline std::uint16_t Load16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

}  // namespace

LazyParser::LazyParser(unsigned window_bits, unsigned max_chain, unsigned nice_length)
    : narrow_(window_bits, nice_length), wide_(window_bits, nice_length), max_chain_(max_chain) {}

template <bool kShortMatches, typename Finder>
Item* LazyParser::ParseFrame(Finder& finder, const std::uint8_t* data, std::size_t size, std::uint32_t frame_start,
                             std::uint32_t frame_end, const CostModel& costs, Item* out) {
  // The state the search touches at every position lives in locals: stores
  // into the tables and items would otherwise make the compiler read members
  // back from memory each time.
  std::uint32_t r0 = repeat_[0], r1 = repeat_[1], r2 = repeat_[2];
  const std::uint16_t* const literal_sum = literal_sum_.data();
  SymbolCounts& counts = *counts_;
  const unsigned nice = finder.nice_length();
  Match found[Finder::kMaxFound];

  // The match that saves the most against literals at pos, if any saves;
  // the search leaves out matches of up to longer_than bytes (repeat
  // matches of any length still count).
  const auto best_at = [&](std::uint32_t pos, unsigned longer_than = 0) __attribute__((always_inline)) {
    const unsigned limit = std::min<std::uint32_t>(kMaxMatch, frame_end - pos);
    const std::uint16_t literals_before = literal_sum[pos];
    const auto gain = [&](unsigned length, unsigned slot) {
      return static_cast<std::int32_t>(static_cast<std::uint16_t>(literal_sum[pos + length] - literals_before)) -
             static_cast<std::int32_t>(costs.SlotMatch(length, slot));
    };
    Choice best;
    const unsigned n = finder.template FindAndInsertKnowing<kShortMatches>(data, size, pos, limit, longer_than, found);
    // Every repeat offset lies within reach but the three that start an
    // interval, before its first byte. The last offset is tried at every
    // search; the two before it only where the search found a match: where
    // it found none they seldom hold one either. Against all three at every
    // search, 5 % fewer instructions on the man pages and long prose for
    // 0.06 % more bytes; text with few repeats 0.9 % larger, generated pages
    // 0.2 % smaller (and no search skipped for a long repeat match: that took
    // more instructions and came out larger).
    if (limit >= kMinMatch && pos != 0) {
      const std::uint8_t* here = data + pos;
      const std::uint16_t first2 = Load16(here);
      const auto repeat = [&](std::uint32_t offset, unsigned index) __attribute__((always_inline)) {
        const std::uint8_t* there = here - offset;
        if (Load16(there) != first2) return;
        const unsigned len = MatchLength(here, there, limit);
        const std::int32_t g = gain(len, index);
        if (g > best.gain) best = {len, index, index, g};
      };
      repeat(r0, 0);
      if (n != 0) {
        repeat(r1, 1);
        repeat(r2, 2);
      }
    }
    for (unsigned i = 0; i < n; ++i) {
      const std::uint32_t formatted = found[i].distance + 2;
      // Distances in two-byte tables stay below 64 Ki: no far slots.
      const unsigned slot = Finder::kNearOnly ? SlotOfNear(formatted) : SlotOf(formatted);
      const std::int32_t g = gain(found[i].length, slot);
      if (g > best.gain) best = {found[i].length, formatted, slot, g};
    }
    return best;
  };
  const auto literal = [&](std::uint32_t pos) __attribute__((always_inline)) {
    const std::uint8_t c = data[pos];
    PutItem(out++, std::uint64_t{c} << 16);
    counts.main[c]++;
  };
  const auto take = [&](const Choice& c) __attribute__((always_inline)) {
    PutItem(out++, c.length | std::uint64_t{c.slot} << 24 | std::uint64_t{c.offset} << 32);
    counts.Count(Item{static_cast<std::uint16_t>(c.length), 0, static_cast<std::uint8_t>(c.slot), c.offset});
    switch (c.offset) {
      case 0:
        break;
      case 1:
        std::swap(r0, r1);
        break;
      case 2:
        std::swap(r0, r2);
        break;
      default:
        r2 = r1;
        r1 = r0;
        r0 = c.offset - 2;
    }
  };

  std::uint32_t pos = frame_start;
  Choice current = best_at(pos);
  while (pos < frame_end) {
    if (current.length == 0) {
      literal(pos);
      if (++pos < frame_end) current = best_at(pos);
      continue;
    }
    std::uint32_t inserted = pos + 1;
    // A match at the last offset again is sent without a look one byte
    // further: the man pages came out 92 bytes smaller with 0.5 % fewer
    // instructions, generated pages 0.02 % larger.
    // The look one byte further searches only for matches at least as long
    // as this one: a shorter one there seldom pays for the literal before
    // it. Against searching for all, 6 % fewer instructions on the man pages
    // and long prose, and both came out smaller (0.04 %, 0.05 %); text with
    // few repeats 0.02 % larger. Only longer ones: prose 0.06 % larger than
    // with these; one byte shorter too: hardly fewer instructions than all.
    if (current.length < nice && current.offset != 0 && pos + 1 < frame_end) {
      const Choice next = best_at(pos + 1, current.length - 1);
      if (next.gain > current.gain) {
        literal(pos);
        ++pos;
        current = next;
        continue;
      }
      inserted = pos + 2;
    }
    take(current);
    const std::uint32_t end = pos + current.length;
    if (current.length < kSkimLength) {
      finder.Insert(data, size, inserted, end);
    } else {
      finder.Insert(data, size, inserted, inserted + kSkimEdge);
      finder.Insert(data, size, end - kSkimEdge, end);
    }
    pos = end;
    if (pos < frame_end) current = best_at(pos);
  }
  repeat_[0] = r0;
  repeat_[1] = r1;
  repeat_[2] = r2;
  return out;
}

void LazyParser::Parse(const std::uint8_t* data, std::size_t size, std::size_t frame_size, unsigned main_symbols,
                       CostModel* costs, ParsedInterval* out) {
  out->frame_items.clear();
  out->frame_repeats.clear();
  out->frame_counts.clear();
  if (size == 0) {
    out->frame_items.push_back(0);
    return;
  }
  if (decltype(narrow_)::Holds(size)) {
    ParseFrames(narrow_, data, size, frame_size, main_symbols, costs, out);
  } else {
    ParseFrames(wide_, data, size, frame_size, main_symbols, costs, out);
  }
}

template <typename Finder>
void LazyParser::ParseFrames(Finder& finder, const std::uint8_t* data, std::size_t size, std::size_t frame_size,
                             unsigned main_symbols, CostModel* costs, ParsedInterval* out) {
  literal_sum_.resize(size + 1);
  literal_sum_[0] = 0;
  // At most one item a byte; what lies past the last frame's end is spare.
  if (out->items.size() < size) out->items.resize(size);
  if (costs->CheapLiterals()) {
    finder.Reset(max_chain_ / kCheapLiteralChainDivisor, kCheapLiteralShortestMatch, size);
  } else {
    finder.Reset(max_chain_, kShortestMatch, size);
  }
  repeat_[0] = repeat_[1] = repeat_[2] = 1;
  SymbolCounts so_far;
  std::size_t items = 0;
  for (std::size_t frame_start = 0; frame_start < size; frame_start += frame_size) {
    const auto frame_end = static_cast<std::uint32_t>(std::min(size, frame_start + frame_size));
    if (frame_start != 0) costs->Learn(so_far, main_symbols);
    std::uint16_t prices[kNumChars];
    for (unsigned c = 0; c < kNumChars; ++c) {
      prices[c] = static_cast<std::uint16_t>(std::min(costs->Literal(static_cast<std::uint8_t>(c)), kMaxLiteralPrice));
    }
    std::uint16_t sum = literal_sum_[frame_start];
    // Four bytes a round: 1.2 % fewer instructions on the man pages (the
    // compiler leaves this loop rolled by itself).
#pragma GCC unroll 4
    for (std::size_t i = frame_start; i < frame_end; ++i) {
      sum = static_cast<std::uint16_t>(sum + prices[data[i]]);
      literal_sum_[i + 1] = sum;
    }
    out->frame_items.push_back(items);
    counts_ = &out->frame_counts.emplace_back();
    Item* const first = out->items.data() + items;
    const auto start = static_cast<std::uint32_t>(frame_start);
    // Whether three-byte matches are looked for, decided once here, not at
    // every search: 2.3 % fewer instructions on the man pages and long prose.
    Item* const last = finder.short_matches() ? ParseFrame<true>(finder, data, size, start, frame_end, *costs, first)
                                              : ParseFrame<false>(finder, data, size, start, frame_end, *costs, first);
    items = static_cast<std::size_t>(last - out->items.data());
    out->frame_repeats.push_back({repeat_[0], repeat_[1], repeat_[2]});
    so_far.Add(*counts_);
  }
  out->frame_items.push_back(items);
}

}  // namespace helpbook::lzx
