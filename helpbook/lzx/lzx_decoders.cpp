#include "helpbook/lzx/lzx_decoders.h"

#include <lzx.h>
#include <mspack.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "helpbook/lzx/lzx_compressor.h"

namespace helpbook::testing {

namespace {

constexpr std::uint64_t kFrame = kLzxFrameSize;

// Compressed bytes of frame f: from its offset to the next frame's.
std::pair<std::uint64_t, std::uint64_t> FrameBounds(const CompressedSection& s, std::size_t f) {
  const std::uint64_t end = f + 1 < s.frame_offsets.size() ? s.frame_offsets[f + 1] : s.bytes.size();
  return {s.frame_offsets[f], end};
}

bool CheckFrames(const CompressedSection& s, std::string* error) {
  const std::uint64_t frames = (s.uncompressed_size + kFrame - 1) / kFrame;
  if (s.frame_offsets.size() != frames) {
    *error = "frame offsets: " + std::to_string(s.frame_offsets.size()) + " for " + std::to_string(frames) + " frames";
    return false;
  }
  for (std::size_t f = 0; f < frames; ++f) {
    const auto [begin, end] = FrameBounds(s, f);
    if (begin > end || end > s.bytes.size() || (f == 0 && begin != 0)) {
      *error = "frame " + std::to_string(f) + " has bounds " + std::to_string(begin) + ".." + std::to_string(end);
      return false;
    }
  }
  return true;
}

void Put16(std::string* b, unsigned v) {
  b->push_back(static_cast<char>(v & 0xFF));
  b->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string* b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Set32(std::string* b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

std::vector<std::uint8_t> DecodeWithChmlib(const CompressedSection& s, std::string* error) {
  std::vector<std::uint8_t> out;
  if (!CheckFrames(s, error)) return {};
  std::unique_ptr<LZXstate, void (*)(LZXstate*)> state(LZXinit(static_cast<int>(s.window_bits)), LZXteardown);
  if (!state) {
    *error = "LZXinit refused the window";
    return {};
  }
  for (std::size_t f = 0; f < s.frame_offsets.size(); ++f) {
    if (f % s.reset_interval_frames == 0) LZXreset(state.get());
    const auto [begin, end] = FrameBounds(s, f);
    // The reader hands the decoder a buffer with room to spare; it may look ahead.
    std::vector<std::uint8_t> in(s.bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                                 s.bytes.begin() + static_cast<std::ptrdiff_t>(end));
    in.resize(in.size() + 6144, 0);
    const auto length = static_cast<int>(std::min<std::uint64_t>(kFrame, s.uncompressed_size - f * kFrame));
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(length));
    const int result = LZXdecompress(state.get(), in.data(), frame.data(), static_cast<int>(end - begin), length);
    if (result != DECR_OK) {
      *error = "frame " + std::to_string(f) + " fails with " + std::to_string(result);
      return {};
    }
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

std::vector<std::uint8_t> DecodeWithMspack(const CompressedSection& s, const std::string& folder,
                                           std::string* error) {
  if (!CheckFrames(s, error)) return {};
  const std::size_t frames = s.frame_offsets.size();
  const std::size_t folders = (frames + s.reset_interval_frames - 1) / s.reset_interval_frames;
  if (folders == 0) return {};

  // Header, folders, files, then the data blocks.
  std::string cab = "MSCF";
  Put32(&cab, 0);
  Put32(&cab, 0);  // cabinet size, set below
  Put32(&cab, 0);
  Put32(&cab, 0);  // first file, set below
  Put32(&cab, 0);
  cab += '\x03';
  cab += '\x01';
  Put16(&cab, static_cast<unsigned>(folders));
  Put16(&cab, static_cast<unsigned>(folders));
  Put16(&cab, 0);
  Put16(&cab, 0x1234);
  Put16(&cab, 0);
  std::vector<std::size_t> folder_at;
  for (std::size_t i = 0; i < folders; ++i) {
    folder_at.push_back(cab.size());
    Put32(&cab, 0);  // first data block, set below
    Put16(&cab, static_cast<unsigned>(std::min<std::size_t>(s.reset_interval_frames, frames - i * s.reset_interval_frames)));
    Put16(&cab, 0x0003 | (s.window_bits << 8));
  }
  Set32(&cab, 16, static_cast<std::uint32_t>(cab.size()));
  const std::uint64_t interval = std::uint64_t{s.reset_interval_frames} * kFrame;
  for (std::size_t i = 0; i < folders; ++i) {
    Put32(&cab, static_cast<std::uint32_t>(std::min(interval, s.uncompressed_size - i * interval)));
    Put32(&cab, 0);
    Put16(&cab, static_cast<unsigned>(i));
    Put16(&cab, 0x5A21);
    Put16(&cab, 0x6000);
    Put16(&cab, 0x20);
    cab += "part" + std::to_string(i);
    cab += '\0';
  }
  for (std::size_t f = 0; f < frames; ++f) {
    if (f % s.reset_interval_frames == 0) Set32(&cab, folder_at[f / s.reset_interval_frames], static_cast<std::uint32_t>(cab.size()));
    const auto [begin, end] = FrameBounds(s, f);
    Put32(&cab, 0);  // no checksum
    Put16(&cab, static_cast<unsigned>(end - begin));
    Put16(&cab, static_cast<unsigned>(std::min<std::uint64_t>(kFrame, s.uncompressed_size - f * kFrame)));
    cab.append(reinterpret_cast<const char*>(s.bytes.data()) + begin, end - begin);
  }
  Set32(&cab, 8, static_cast<std::uint32_t>(cab.size()));

  const std::string cab_path = folder + "/section.cab";
  std::FILE* file = std::fopen(cab_path.c_str(), "wb");
  if (file == nullptr || std::fwrite(cab.data(), 1, cab.size(), file) != cab.size() || std::fclose(file) != 0) {
    *error = "cannot write " + cab_path;
    return {};
  }

  std::unique_ptr<mscab_decompressor, void (*)(mscab_decompressor*)> cabd(
      mspack_create_cab_decompressor(nullptr), mspack_destroy_cab_decompressor);
  mscabd_cabinet* cabinet = cabd->open(cabd.get(), cab_path.c_str());
  if (cabinet == nullptr) {
    *error = "libmspack cannot open the cabinet: error " + std::to_string(cabd->last_error(cabd.get()));
    return {};
  }
  std::vector<std::uint8_t> out;
  for (mscabd_file* f = cabinet->files; f != nullptr; f = f->next) {
    const std::string part_path = folder + "/" + f->filename;
    if (cabd->extract(cabd.get(), f, part_path.c_str()) != MSPACK_ERR_OK) {
      *error = std::string("libmspack cannot extract ") + f->filename + ": error " +
               std::to_string(cabd->last_error(cabd.get()));
      out.clear();
      break;
    }
    std::FILE* part = std::fopen(part_path.c_str(), "rb");
    std::vector<std::uint8_t> bytes(f->length);
    const bool read = part != nullptr && std::fread(bytes.data(), 1, bytes.size(), part) == bytes.size();
    if (part != nullptr) std::fclose(part);
    std::remove(part_path.c_str());
    if (!read) {
      *error = "cannot read back " + part_path;
      out.clear();
      break;
    }
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  cabd->close(cabd.get(), cabinet);
  return out;
}

}  // namespace helpbook::testing
