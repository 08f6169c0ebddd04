#include "helpbook/lzx/lzx_match_finder.h"

#include <algorithm>

namespace helpbook::lzx {

template <typename Slot>
BasicMatchFinder<Slot>::BasicMatchFinder(unsigned window_bits, unsigned nice_length)
    : max_distance_((1u << window_bits) - 3),
      nice_length_(nice_length),
      window_mask_(kWholeSlots ? 0xFFFFu : (1u << window_bits) - 1) {}

template <typename Slot>
void BasicMatchFinder<Slot>::Reset(unsigned max_chain, unsigned shortest, std::size_t size) {
  if (head3_.empty()) {
    head3_.resize(std::size_t{1} << kHash3Bits);
    head4_.resize(std::size_t{1} << kChainHashBits);
    prev_.resize(std::size_t{window_mask_} + 1);
  }
  max_chain_ = max_chain;
  shortest_ = shortest;
  chain_bytes_ = std::max(shortest, 4u);
  chain_mask_ = chain_bytes_ >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * chain_bytes_)) - 1;
  // With two-byte entries the last position of a 64 KiB interval is stored
  // as 0, empty: nothing after it could use it.
  if (sizeof(Slot) < 4 || next_base_ == 0 || size >= std::size_t{0xFFFFFFFFu} - next_base_) {
    std::fill(head3_.begin(), head3_.end(), 0);
    std::fill(head4_.begin(), head4_.end(), 0);
    next_base_ = 1;  // 0 is below every base: empty
  }
  base_ = next_base_;
  next_base_ = static_cast<std::uint32_t>(base_ + size);
}

template class BasicMatchFinder<std::uint16_t>;
template class BasicMatchFinder<std::uint32_t>;

}  // namespace helpbook::lzx
