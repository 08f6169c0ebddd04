// Test decoders: the compressed section read back the way real readers do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace helpbook::testing {

struct CompressedSection {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint64_t> frame_offsets;
  unsigned window_bits;
  unsigned reset_interval_frames;
  std::uint64_t uncompressed_size;
};

// chmlib's LZX decoder, fed one frame at a time from the frame offsets with a
// reset at every interval, as its help-file reader does. Empty on failure,
// with the reason in *error.
std::vector<std::uint8_t> DecodeWithChmlib(const CompressedSection& section, std::string* error);

// libmspack's LZX decoder: every reset interval becomes one folder of a
// cabinet, every frame one data block, and the cabinet's files are extracted.
std::vector<std::uint8_t> DecodeWithMspack(const CompressedSection& section, const std::string& folder,
                                           std::string* error);

}  // namespace helpbook::testing
