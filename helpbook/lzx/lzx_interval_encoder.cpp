#include "helpbook/lzx/lzx_interval_encoder.h"

#include <algorithm>
#include <cstring>

#include "helpbook/lzx/huffman_code.h"
#include "helpbook/lzx/lzx_bit_writer.h"

namespace helpbook::lzx {

namespace {

constexpr std::uint32_t kFrame = 0x8000;
constexpr unsigned kHashBits = 16;

// First guesses at symbol prices, in bits, before any code is known.
constexpr unsigned kLiteralBits = 7;
constexpr unsigned kMatchSymbolBits = 9;
constexpr unsigned kRepeatSymbolBits[3] = {6, 8, 8};
constexpr unsigned kFooterBits = 5;
// Prices of symbols a first pass did not use.
constexpr unsigned kUnusedSymbolBits = 12;
constexpr unsigned kUnusedFooterBits = 8;

inline std::uint32_t Hash3(const std::uint8_t* p) {
  const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  return (v * 2654435761u) >> (32 - kHashBits);
}

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


// One symbol of the pretree coding of a run of code lengths.
struct PreSymbol {
  std::uint8_t symbol;
  std::uint8_t extra_count;
  std::uint8_t extra;
  std::uint8_t second;  // the length delta after a 19, else 0xFF
};

inline std::uint8_t Delta(std::uint8_t before, std::uint8_t now) {
  return static_cast<std::uint8_t>((before + 17 - now) % 17);
}

// Codes the lengths [first, end) against the previous block's: runs of zeros
// with 17 and 18, short runs of one length with 19, everything else as deltas.
void DeltaCode(const std::uint8_t* before, const std::uint8_t* now, unsigned first, unsigned end,
               std::vector<PreSymbol>* out) {
  out->clear();
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

PretreeCode PlanPretree(const std::vector<PreSymbol>& symbols) {
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

std::uint64_t TreeBits(const std::uint8_t* before, const std::uint8_t* now, unsigned first, unsigned end,
                       std::vector<PreSymbol>* scratch) {
  DeltaCode(before, now, first, end, scratch);
  return PlanPretree(*scratch).bits;
}

void WriteTree(const std::uint8_t* before, const std::uint8_t* now, unsigned first, unsigned end,
               BitWriter* bits) {
  std::vector<PreSymbol> symbols;
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

template <std::size_t N>
std::uint64_t CodedBits(const std::uint32_t (&freqs)[N], const std::uint8_t (&lengths)[N], unsigned count) {
  std::uint64_t bits = 0;
  for (unsigned i = 0; i < count; ++i) bits += std::uint64_t{freqs[i]} * lengths[i];
  return bits;
}

}  // namespace

void IntervalEncoder::Stats::Add(const Stats& other) {
  for (unsigned i = 0; i < kMaxMainSymbols; ++i) main[i] += other.main[i];
  for (unsigned i = 0; i < kNumSecondaryLengths; ++i) length[i] += other.length[i];
  for (unsigned i = 0; i < kAlignedSymbols; ++i) aligned[i] += other.aligned[i];
  extra_bits += other.extra_bits;
  aligned_offsets += other.aligned_offsets;
}

IntervalEncoder::IntervalEncoder(unsigned window_bits, int level)
    : main_symbols_(kNumChars + 8 * PositionSlots(window_bits)),
      max_distance_((1u << window_bits) - 3),
      head_(std::size_t{1} << kHashBits),
      prev_(std::size_t{1} << window_bits),
      window_mask_((1u << window_bits) - 1) {
  if (level <= 0) {
    max_chain_ = 4;
    nice_length_ = 16;
    lazy_ = false;
    passes_ = 1;
  } else if (level == 1) {
    max_chain_ = 16;
    nice_length_ = 48;
    lazy_ = true;
    passes_ = 1;
  } else if (level == 2) {
    max_chain_ = 8;
    nice_length_ = 32;
    lazy_ = true;
    passes_ = 2;
  } else {
    max_chain_ = 32;
    nice_length_ = 128;
    lazy_ = true;
    passes_ = 3;
  }
}

void IntervalEncoder::GuessPrices() {
  // Flat literal prices parse text better here than prices from byte counts.
  for (auto& l : prices_.literal) l = 16 * kLiteralBits;
  for (unsigned m = 0; m < kMaxMainSymbols - kNumChars; ++m) {
    const unsigned slot = m / 8;
    prices_.match[m] = 16 * (slot < 3 ? kRepeatSymbolBits[slot] : kMatchSymbolBits);
  }
  for (auto& f : prices_.footer) f = 16 * kFooterBits;
}

void IntervalEncoder::PricesFrom(const Stats& stats) {
  std::uint8_t main[kMaxMainSymbols] = {};
  std::uint8_t length[kNumSecondaryLengths] = {};
  BuildCodeLengths(stats.main, main_symbols_, kMaxCodeLength, main);
  BuildCodeLengths(stats.length, kNumSecondaryLengths, kMaxCodeLength, length);
  for (unsigned c = 0; c < kNumChars; ++c) prices_.literal[c] = 16 * (stats.main[c] ? main[c] : kUnusedSymbolBits);
  for (unsigned m = 0; m < main_symbols_ - kNumChars; ++m) {
    prices_.match[m] = 16 * (stats.main[kNumChars + m] ? main[kNumChars + m] : kUnusedSymbolBits);
  }
  for (unsigned f = 0; f < kNumSecondaryLengths; ++f) prices_.footer[f] = 16 * (stats.length[f] ? length[f] : kUnusedFooterBits);
}

// Bits saved by a match against sending its bytes as literals.
int IntervalEncoder::MatchGain(std::uint32_t pos, unsigned length, std::uint32_t formatted) const {
  return static_cast<int>(literal_sum_[pos + length] - literal_sum_[pos]) - static_cast<int>(MatchPrice(length, formatted));
}

void IntervalEncoder::Insert(const std::uint8_t* data, std::size_t size, std::uint32_t pos) {
  if (pos + 3 > size) return;
  std::int32_t& head = head_[Hash3(data + pos)];
  prev_[pos & window_mask_] = head;
  head = static_cast<std::int32_t>(pos);
}

IntervalEncoder::Candidate IntervalEncoder::FindAndInsert(const std::uint8_t* data, std::size_t size,
                                                          std::uint32_t pos, std::uint32_t limit) {
  Candidate best;
  unsigned seen = 1;  // the longest match looked at so far
  const std::uint8_t* here = data + pos;
  if (limit >= kMinMatch) {
    for (unsigned i = 0; i < 3; ++i) {
      const std::uint32_t distance = repeat_[i];
      if (distance > pos) continue;
      const unsigned len = MatchLength(here, here - distance, limit);
      if (len < kMinMatch) continue;
      const int gain = MatchGain(pos, len, i);
      if (gain > best.gain) best = {len, i, gain};
      seen = std::max(seen, len);
    }
  }
  if (pos + 3 > size) return best;
  std::int32_t& head = head_[Hash3(here)];
  std::int32_t candidate = head;
  prev_[pos & window_mask_] = candidate;
  head = static_cast<std::int32_t>(pos);
  if (limit < 3 || seen >= nice_length_) return best;

  const std::int64_t lowest = std::int64_t{pos} - max_distance_;
  for (unsigned chain = max_chain_; candidate >= 0 && candidate >= lowest && chain != 0; --chain) {
    if (seen >= limit) break;
    const std::uint8_t* there = data + candidate;
    if (there[seen] == here[seen] && there[0] == here[0] && there[1] == here[1]) {
      const unsigned len = MatchLength(here, there, limit);
      if (len > seen) {
        seen = len;
        const std::uint32_t formatted = pos - static_cast<std::uint32_t>(candidate) + 2;
        const int gain = MatchGain(pos, len, formatted);
        if (gain > best.gain) best = {len, formatted, gain};
        if (len >= nice_length_) break;
      }
    }
    candidate = prev_[static_cast<std::uint32_t>(candidate) & window_mask_];
  }
  return best;
}

void IntervalEncoder::TakeMatch(const Candidate& c) {
  items_.push_back({static_cast<std::uint16_t>(c.length), 0, c.offset});
  switch (c.offset) {
    case 0:
      break;
    case 1:
      std::swap(repeat_[0], repeat_[1]);
      break;
    case 2:
      std::swap(repeat_[0], repeat_[2]);
      break;
    default:
      repeat_[2] = repeat_[1];
      repeat_[1] = repeat_[0];
      repeat_[0] = c.offset - 2;
  }
}

void IntervalEncoder::ParseLazy(const std::uint8_t* data, std::size_t size, std::uint32_t frame_start,
                                std::uint32_t frame_end) {
  auto limit_at = [frame_end](std::uint32_t p) { return std::min<std::uint32_t>(kMaxMatch, frame_end - p); };
  std::uint32_t pos = frame_start;
  Candidate current = FindAndInsert(data, size, pos, limit_at(pos));
  while (pos < frame_end) {
    if (current.length == 0) {
      items_.push_back({0, data[pos], 0});
      if (++pos < frame_end) current = FindAndInsert(data, size, pos, limit_at(pos));
      continue;
    }
    std::uint32_t inserted = pos + 1;
    if (lazy_ && current.length < nice_length_ && pos + 1 < frame_end) {
      const Candidate next = FindAndInsert(data, size, pos + 1, limit_at(pos + 1));
      if (next.gain > current.gain) {
        items_.push_back({0, data[pos], 0});
        ++pos;
        current = next;
        continue;
      }
      inserted = pos + 2;
    }
    TakeMatch(current);
    const std::uint32_t end = pos + current.length;
    for (std::uint32_t q = inserted; q < end; ++q) Insert(data, size, q);
    pos = end;
    if (pos < frame_end) current = FindAndInsert(data, size, pos, limit_at(pos));
  }
}

void IntervalEncoder::CollectMatches(const std::uint8_t* data, std::size_t size, std::uint32_t pos,
                                     std::uint32_t limit, unsigned longer_than) {
  matches_.clear();
  if (pos + 3 > size) return;
  const std::uint8_t* here = data + pos;
  std::int32_t& head = head_[Hash3(here)];
  std::int32_t candidate = head;
  prev_[pos & window_mask_] = candidate;
  head = static_cast<std::int32_t>(pos);
  if (limit < 3) return;
  unsigned seen = std::max(longer_than, 2u);
  const std::int64_t lowest = std::int64_t{pos} - max_distance_;
  for (unsigned chain = max_chain_; candidate >= 0 && candidate >= lowest && chain != 0; --chain) {
    if (seen >= limit) break;
    const std::uint8_t* there = data + candidate;
    if (there[seen] == here[seen] && there[0] == here[0] && there[1] == here[1]) {
      const unsigned len = MatchLength(here, there, limit);
      if (len > seen) {
        seen = len;
        matches_.push_back({len, pos - static_cast<std::uint32_t>(candidate) + 2, 0});
        if (len >= nice_length_) break;
      }
    }
    candidate = prev_[static_cast<std::uint32_t>(candidate) & window_mask_];
  }
}

std::uint32_t IntervalEncoder::MatchPrice(unsigned length, std::uint32_t formatted) const {
  const unsigned slot = SlotOf(formatted);
  const unsigned header = std::min<unsigned>(length - kMinMatch, kNumPrimaryLengths);
  std::uint32_t price = prices_.match[slot * 8 + header] + 16 * ExtraBits(slot);
  if (header == kNumPrimaryLengths) price += prices_.footer[length - kMinMatch - kNumPrimaryLengths];
  return price;
}

// The cheapest path through the frame by the current prices, each position
// reached by a literal or a match, with the repeat offsets of the path that
// reached it.
void IntervalEncoder::ParseOptimal(const std::uint8_t* data, std::size_t size, std::uint32_t frame_start,
                                   std::uint32_t frame_end) {
  const std::uint32_t n = frame_end - frame_start;
  nodes_.assign(n + 1, Node{});
  nodes_[0].cost = 0;
  std::copy(std::begin(repeat_), std::end(repeat_), nodes_[0].repeat);
  auto relax = [&](std::uint32_t from, std::uint32_t to, std::uint32_t cost, unsigned length, std::uint32_t offset) {
    Node& node = nodes_[to];
    if (cost >= node.cost) return;
    const Node& source = nodes_[from];
    node.cost = cost;
    node.length = static_cast<std::uint16_t>(length);
    node.offset = offset;
    std::copy(std::begin(source.repeat), std::end(source.repeat), node.repeat);
    if (length == 0 || offset == 0) return;
    if (offset < 3) {
      std::swap(node.repeat[0], node.repeat[offset]);
    } else {
      node.repeat[2] = node.repeat[1];
      node.repeat[1] = node.repeat[0];
      node.repeat[0] = offset - 2;
    }
  };

  for (std::uint32_t i = 0; i < n; ++i) {
    const std::uint32_t pos = frame_start + i;
    const std::uint32_t limit = std::min<std::uint32_t>(kMaxMatch, n - i);
    const std::uint32_t cost = nodes_[i].cost;
    relax(i, i + 1, cost + prices_.literal[data[pos]], 0, 0);
    unsigned longest = 0;
    if (limit >= kMinMatch) {
      for (unsigned k = 0; k < 3; ++k) {
        const std::uint32_t distance = nodes_[i].repeat[k];
        if (distance > pos) continue;
        const unsigned len = MatchLength(data + pos, data + pos - distance, limit);
        for (unsigned l = kMinMatch; l <= len; ++l) relax(i, i + l, cost + MatchPrice(l, k), l, k);
        longest = std::max(longest, len);
      }
    }
    // Matches no longer than a repeat match cost more than it.
    CollectMatches(data, size, pos, limit, longest);
    unsigned from = std::max(longest, 2u);
    for (const Candidate& m : matches_) {
      for (unsigned l = from + 1; l <= m.length; ++l) relax(i, i + l, cost + MatchPrice(l, m.offset), l, m.offset);
      from = m.length;
      longest = std::max(longest, m.length);
    }
    // A long match is taken as it stands: skip the search inside it.
    if (longest >= nice_length_) {
      for (std::uint32_t q = pos + 1; q < pos + longest; ++q) Insert(data, size, q);
      i += longest - 1;
    }
  }

  // Walk back from the frame's end, then replay the path forwards.
  path_.clear();
  for (std::uint32_t j = n; j > 0;) {
    const Node& node = nodes_[j];
    path_.push_back(j);
    j -= node.length == 0 ? 1 : node.length;
  }
  for (auto it = path_.rbegin(); it != path_.rend(); ++it) {
    const Node& node = nodes_[*it];
    if (node.length == 0) {
      items_.push_back({0, data[frame_start + *it - 1], 0});
    } else {
      TakeMatch({node.length, node.offset, 0});
    }
  }
}

void IntervalEncoder::Parse(const std::uint8_t* data, std::size_t size, bool optimal) {
  literal_sum_.resize(size + 1);
  literal_sum_[0] = 0;
  for (std::size_t i = 0; i < size; ++i) literal_sum_[i + 1] = literal_sum_[i] + prices_.literal[data[i]];
  items_.clear();
  frame_items_.clear();
  frame_repeats_.clear();
  std::fill(head_.begin(), head_.end(), -1);
  repeat_[0] = repeat_[1] = repeat_[2] = 1;
  for (std::size_t frame_start = 0; frame_start < size; frame_start += kFrame) {
    const auto frame_end = static_cast<std::uint32_t>(std::min<std::size_t>(size, frame_start + kFrame));
    frame_items_.push_back(items_.size());
    if (optimal) {
      ParseOptimal(data, size, static_cast<std::uint32_t>(frame_start), frame_end);
    } else {
      ParseLazy(data, size, static_cast<std::uint32_t>(frame_start), frame_end);
    }
    frame_repeats_.push_back({repeat_[0], repeat_[1], repeat_[2]});
  }
  frame_items_.push_back(items_.size());
}

void IntervalEncoder::CountItems(std::size_t first, std::size_t end, Stats* stats) const {
  for (std::size_t i = first; i < end; ++i) {
    const Item& item = items_[i];
    if (item.length == 0) {
      stats->main[item.literal]++;
      continue;
    }
    const unsigned slot = SlotOf(item.offset);
    const unsigned header = std::min<unsigned>(item.length - kMinMatch, kNumPrimaryLengths);
    stats->main[kNumChars + slot * 8 + header]++;
    if (header == kNumPrimaryLengths) stats->length[item.length - kMinMatch - kNumPrimaryLengths]++;
    const unsigned extra = ExtraBits(slot);
    stats->extra_bits += extra;
    if (extra >= 3) {
      stats->aligned[(item.offset - kSlotBases.base[slot]) & 7]++;
      stats->aligned_offsets++;
    }
  }
}

void IntervalEncoder::PlanBlock(const Stats& stats, const std::uint8_t* prev_main,
                                const std::uint8_t* prev_length, std::uint64_t raw_bytes,
                                Trees* trees) const {
  BuildCodeLengths(stats.main, main_symbols_, kMaxCodeLength, trees->main);
  BuildCodeLengths(stats.length, kNumSecondaryLengths, kMaxCodeLength, trees->length);
  std::vector<PreSymbol> scratch;
  std::uint64_t bits = 3 + 24;
  bits += TreeBits(prev_main, trees->main, 0, kNumChars, &scratch);
  bits += TreeBits(prev_main, trees->main, kNumChars, main_symbols_, &scratch);
  bits += TreeBits(prev_length, trees->length, 0, kNumSecondaryLengths, &scratch);
  bits += CodedBits(stats.main, trees->main, main_symbols_);
  bits += CodedBits(stats.length, trees->length, kNumSecondaryLengths);

  const std::uint64_t verbatim = stats.extra_bits;
  std::uint64_t aligned = verbatim + 1;
  if (stats.aligned_offsets != 0) {
    BuildCodeLengths(stats.aligned, kAlignedSymbols, kMaxAlignedCodeLength, trees->aligned);
    aligned = 3 * kAlignedSymbols + stats.extra_bits - 3 * stats.aligned_offsets +
              CodedBits(stats.aligned, trees->aligned, kAlignedSymbols);
  }
  trees->type = aligned < verbatim ? kAligned : kVerbatim;
  bits += std::min(aligned, verbatim);

  const std::uint64_t stored = 3 + 24 + 16 + 96 + 8 * (raw_bytes + (raw_bytes & 1));
  if (stored <= bits) {
    trees->type = kUncompressed;
    bits = stored;
  }
  trees->bits = bits;
}

// One block per frame: blocks spanning frames saved next to nothing on help
// text, and a block per frame is what every reader has seen.
void IntervalEncoder::PlanBlocks(std::size_t size) {
  blocks_.clear();
  std::uint8_t prev_main[kMaxMainSymbols] = {};
  std::uint8_t prev_length[kNumSecondaryLengths] = {};
  for (std::size_t f = 0; f < frame_stats_.size(); ++f) {
    Block block{f, f + 1, {}};
    PlanBlock(frame_stats_[f], prev_main, prev_length, std::min<std::size_t>(kFrame, size - f * kFrame), &block.trees);
    if (block.trees.type != kUncompressed) {
      std::copy(std::begin(block.trees.main), std::end(block.trees.main), prev_main);
      std::copy(std::begin(block.trees.length), std::end(block.trees.length), prev_length);
    }
    blocks_.push_back(block);
  }
}

void IntervalEncoder::EmitBlock(const Block& block, const std::uint8_t* data, std::size_t size,
                                BitWriter* bits, const std::uint8_t* prev_main,
                                const std::uint8_t* prev_length, const std::vector<std::uint8_t>& out,
                                std::size_t out_start, std::vector<std::uint32_t>* frame_offsets) const {
  auto mark_frame = [&]() { frame_offsets->push_back(static_cast<std::uint32_t>(out.size() - out_start)); };
  const std::size_t begin = block.first_frame * kFrame;
  const std::size_t end = std::min<std::size_t>(size, block.end_frame * kFrame);
  if (block.first_frame != 0) mark_frame();
  bits->Write(block.trees.type, 3);
  bits->Write(static_cast<std::uint32_t>(end - begin), 24);

  if (block.trees.type == kUncompressed) {
    // One to sixteen bits of padding, then the repeat offsets the block leaves behind.
    if (bits->AtWordBoundary()) bits->Write(0, 16);
    bits->AlignToWord();
    for (std::uint32_t r : frame_repeats_[block.end_frame - 1]) {
      for (int shift = 0; shift < 32; shift += 8) bits->WriteByte(static_cast<std::uint8_t>(r >> shift));
    }
    for (std::size_t f = block.first_frame; f < block.end_frame; ++f) {
      if (f != block.first_frame) mark_frame();
      const std::size_t from = f * kFrame;
      bits->WriteBytes(data + from, std::min<std::size_t>(kFrame, size - from));
    }
    if ((end - begin) & 1) bits->WriteByte(0);
    return;
  }

  const Trees& t = block.trees;
  if (t.type == kAligned) {
    for (unsigned i = 0; i < kAlignedSymbols; ++i) bits->Write(t.aligned[i], 3);
  }
  WriteTree(prev_main, t.main, 0, kNumChars, bits);
  WriteTree(prev_main, t.main, kNumChars, main_symbols_, bits);
  WriteTree(prev_length, t.length, 0, kNumSecondaryLengths, bits);
  std::uint16_t main_codes[kMaxMainSymbols];
  std::uint16_t length_codes[kNumSecondaryLengths];
  std::uint16_t aligned_codes[kAlignedSymbols];
  AssignCodes(t.main, main_symbols_, main_codes);
  AssignCodes(t.length, kNumSecondaryLengths, length_codes);
  AssignCodes(t.aligned, kAlignedSymbols, aligned_codes);

  for (std::size_t f = block.first_frame; f < block.end_frame; ++f) {
    if (f != block.first_frame) mark_frame();
    for (std::size_t i = frame_items_[f]; i < frame_items_[f + 1]; ++i) {
      const Item& item = items_[i];
      if (item.length == 0) {
        bits->Write(main_codes[item.literal], t.main[item.literal]);
        continue;
      }
      const unsigned slot = SlotOf(item.offset);
      const unsigned header = std::min<unsigned>(item.length - kMinMatch, kNumPrimaryLengths);
      const unsigned symbol = kNumChars + slot * 8 + header;
      bits->Write(main_codes[symbol], t.main[symbol]);
      if (header == kNumPrimaryLengths) {
        const unsigned footer = item.length - kMinMatch - kNumPrimaryLengths;
        bits->Write(length_codes[footer], t.length[footer]);
      }
      const unsigned extra = ExtraBits(slot);
      if (extra == 0) continue;
      const std::uint32_t value = item.offset - kSlotBases.base[slot];
      if (t.type == kAligned && extra >= 3) {
        if (extra > 3) bits->Write(value >> 3, extra - 3);
        bits->Write(aligned_codes[value & 7], t.aligned[value & 7]);
      } else {
        bits->Write(value, extra);
      }
    }
    // Every frame's bits end on a word boundary.
    bits->AlignToWord();
  }
}

void IntervalEncoder::Encode(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>* out,
                             std::vector<std::uint32_t>* frame_offsets) {
  if (size == 0) return;
  GuessPrices();
  for (int pass = 1;; ++pass) {
    Parse(data, size, pass > 1);
    const std::size_t frames = frame_items_.size() - 1;
    frame_stats_.assign(frames, Stats{});
    for (std::size_t f = 0; f < frames; ++f) CountItems(frame_items_[f], frame_items_[f + 1], &frame_stats_[f]);
    if (pass == passes_) break;
    // Parse again, pricing symbols by the codes the last parse would get.
    Stats all;
    for (const Stats& s : frame_stats_) all.Add(s);
    PricesFrom(all);
  }
  PlanBlocks(size);

  const std::size_t out_start = out->size();
  frame_offsets->push_back(0);
  BitWriter bits(out);
  bits.Write(0, 1);  // no call-instruction translation
  std::uint8_t prev_main[kMaxMainSymbols] = {};
  std::uint8_t prev_length[kNumSecondaryLengths] = {};
  for (const Block& block : blocks_) {
    EmitBlock(block, data, size, &bits, prev_main, prev_length, *out, out_start, frame_offsets);
    if (block.trees.type != kUncompressed) {
      std::copy(std::begin(block.trees.main), std::end(block.trees.main), prev_main);
      std::copy(std::begin(block.trees.length), std::end(block.trees.length), prev_length);
    }
  }
}

}  // namespace helpbook::lzx
