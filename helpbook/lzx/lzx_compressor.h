#pragma once
// LZX compression in the form compiled help books use: the uncompressed
// section is cut into 32 KiB frames, every frame's compressed bits end on a
// 16-bit boundary, and the coder starts afresh (no history, fresh trees and
// repeat offsets) at every reset interval. Intervals are therefore
// independent and are compressed in parallel; the output stays in order.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace helpbook {

inline constexpr std::uint32_t kLzxFrameSize = 0x8000;

struct LzxSettings {
  unsigned window_bits = 16;          // window of 2^window_bits bytes (15..21)
  unsigned reset_interval_frames = 2; // frames between two resets (>= 1)
  unsigned threads = 0;               // 0: one per core
};

class LzxSectionCompressor {
 public:
  // Receives compressed bytes in order. Returning false stops the compressor.
  // Called only from the thread that calls Write and Finish.
  using Sink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

  // Throws std::invalid_argument for a window outside 15..21 or a zero interval.
  LzxSectionCompressor(const LzxSettings& settings, Sink sink);
  ~LzxSectionCompressor();
  LzxSectionCompressor(const LzxSectionCompressor&) = delete;
  LzxSectionCompressor& operator=(const LzxSectionCompressor&) = delete;

  // Feeds uncompressed bytes. Memory stays bounded by a few reset intervals
  // per thread, whatever the total size. False once the sink has failed.
  // What a compressing thread throws (std::bad_alloc, say) is thrown here and
  // by Finish, on the caller's thread.
  bool Write(const std::uint8_t* data, std::size_t size);
  // Compresses what is left and waits for every worker. False when the sink failed.
  bool Finish();

  std::uint64_t UncompressedSize() const;
  std::uint64_t CompressedSize() const;
  // The compressed offset at which each frame begins: one entry per frame
  // (the first is 0), as the section's reset table lists them. Valid after Finish.
  // No entries for no input. Every offset, and the compressed size, is even.
  const std::vector<std::uint64_t>& FrameOffsets() const;
  // As given, with threads 0 replaced by the number of threads in use.
  const LzxSettings& Settings() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace helpbook
