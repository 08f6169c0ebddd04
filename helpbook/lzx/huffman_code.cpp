#include "helpbook/lzx/huffman_code.h"

#include <algorithm>
#include <vector>

namespace helpbook::lzx {

namespace {

// Optimal (unlimited) code lengths for the used symbols, by the two-queue
// method over symbols sorted by frequency. Returns the longest length.
unsigned HuffmanLengths(const std::vector<std::pair<std::uint32_t, unsigned>>& sorted,
                        std::uint8_t* lengths) {
  const unsigned n = static_cast<unsigned>(sorted.size());
  std::vector<std::uint64_t> weight(2 * n - 1);
  std::vector<unsigned> parent(2 * n - 1, 0);
  for (unsigned i = 0; i < n; ++i) weight[i] = sorted[i].first;
  unsigned leaf = 0, inner = n, next = n;
  auto take = [&]() {
    if (leaf < n && (inner >= next || weight[leaf] <= weight[inner])) return leaf++;
    return inner++;
  };
  for (; next < 2 * n - 1; ++next) {
    const unsigned a = take();
    const unsigned b = take();
    weight[next] = weight[a] + weight[b];
    parent[a] = parent[b] = next;
  }
  std::vector<std::uint8_t> depth(2 * n - 1, 0);
  unsigned longest = 0;
  for (unsigned i = 2 * n - 2; i-- > 0;) {
    depth[i] = static_cast<std::uint8_t>(depth[parent[i]] + 1);
    if (i < n) longest = std::max<unsigned>(longest, depth[i]);
  }
  for (unsigned i = 0; i < n; ++i) lengths[sorted[i].second] = depth[i];
  return longest;
}

// Orders (frequency, symbol) pairs that come in symbol order by frequency,
// ties in symbol order: a stable radix sort on the frequency's bytes, as many
// as the largest needs. The comparisons of a comparison sort of these pairs
// were a seventh of the compressor's mispredicted branches on the man pages.
void SortByFrequency(std::vector<std::pair<std::uint32_t, unsigned>>* pairs) {
  std::uint32_t largest = 0;
  for (const auto& p : *pairs) largest |= p.first;
  std::vector<std::pair<std::uint32_t, unsigned>> other(pairs->size());
  for (unsigned shift = 0; shift < 32 && (largest >> shift) != 0; shift += 8) {
    std::size_t start[257] = {};
    for (const auto& p : *pairs) start[((p.first >> shift) & 0xFF) + 1]++;
    for (unsigned d = 0; d < 256; ++d) start[d + 1] += start[d];
    for (const auto& p : *pairs) other[start[(p.first >> shift) & 0xFF]++] = p;
    pairs->swap(other);
  }
}

}  // namespace

void BuildCodeLengths(const std::uint32_t* freqs, unsigned count, unsigned max_length,
                      std::uint8_t* lengths) {
  std::fill(lengths, lengths + count, 0);
  std::vector<std::pair<std::uint32_t, unsigned>> used;
  for (unsigned s = 0; s < count; ++s) {
    if (freqs[s] != 0) used.emplace_back(freqs[s], s);
  }
  // Fewer than two symbols: pad with unused ones to a complete one-bit code.
  for (unsigned s = 0; used.size() < 2; ++s) {
    if (freqs[s] == 0) used.emplace_back(1, s);
  }
  if (used.size() == 2) {
    lengths[used[0].second] = lengths[used[1].second] = 1;
    return;
  }
  SortByFrequency(&used);
  // Too long: flatten the frequencies and try again. Rare, and the code stays
  // complete, which a fix-up of the lengths would have to take care to keep.
  while (HuffmanLengths(used, lengths) > max_length) {
    for (auto& u : used) u.first = (u.first >> 1) | 1;
    std::stable_sort(used.begin(), used.end());
  }
}

void AssignCodes(const std::uint8_t* lengths, unsigned count, std::uint16_t* codes) {
  unsigned per_length[33] = {};
  for (unsigned s = 0; s < count; ++s) per_length[lengths[s]]++;
  per_length[0] = 0;
  unsigned next[33] = {};
  unsigned code = 0;
  for (unsigned len = 1; len <= 32; ++len) {
    code = (code + per_length[len - 1]) << 1;
    next[len] = code;
  }
  for (unsigned s = 0; s < count; ++s) {
    codes[s] = lengths[s] ? static_cast<std::uint16_t>(next[lengths[s]]++) : 0;
  }
}

}  // namespace helpbook::lzx
