// The LZX bitstream: bits go most significant first into 16-bit words that are
// stored little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace helpbook::lzx {

class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>* out) : out_(out) {}

  // value must fit in count bits; count <= 32.
  void Write(std::uint32_t value, unsigned count) {
    acc_ = (acc_ << count) | value;
    used_ += count;
    while (used_ >= 16) {
      used_ -= 16;
      const auto word = static_cast<std::uint16_t>(acc_ >> used_);
      out_->push_back(static_cast<std::uint8_t>(word));
      out_->push_back(static_cast<std::uint8_t>(word >> 8));
    }
    acc_ &= (std::uint64_t{1} << used_) - 1;
  }

  // Pads with zero bits to the next word; nothing when already there.
  void AlignToWord() {
    if (used_ != 0) Write(0, 16 - used_);
  }

  bool AtWordBoundary() const { return used_ == 0; }
  // Only at a word boundary: raw bytes go straight to the output.
  void WriteByte(std::uint8_t b) { out_->push_back(b); }
  void WriteBytes(const std::uint8_t* data, std::size_t size) { out_->insert(out_->end(), data, data + size); }
  std::size_t ByteSize() const { return out_->size(); }

 private:
  std::vector<std::uint8_t>* out_;
  std::uint64_t acc_ = 0;
  unsigned used_ = 0;
};

}  // namespace helpbook::lzx
