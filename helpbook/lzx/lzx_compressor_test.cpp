#include "helpbook/lzx/lzx_compressor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "helpbook/lzx/lzx_decoders.h"
#include "testing/temp_dir.h"

namespace helpbook {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::CompressedSection;

constexpr std::size_t kFrame = kLzxFrameSize;

// ---- inputs ----

Bytes RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<std::uint8_t>(rng());
  return b;
}

// Help-page-like text: ASCII words, GBK-coded Chinese, markup, CR LF.
Bytes Text(std::size_t n, unsigned seed) {
  static const char* const kWords[] = {
      "the", "settings", "dialog", "<b>Options</b>", "file", "open", "save", "Ctrl+S", "version",
      "2.4.1", "error", "0x80070005", "\xB1\xBE\xD5\xC2", "\xB0\xB2\xD7\xB0", "\xC5\xE4\xD6\xC3",
      "\xC8\xED\xBC\xFE", "\xA3\xAC", "\xA1\xA3", "<p>", "</p>", "\xCE\xC4\xBC\xFE", "page"};
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) {
    const std::string w = kWords[rng() % std::size(kWords)];
    b.insert(b.end(), w.begin(), w.end());
    if (rng() % 12 == 0) {
      b.push_back('\r');
      b.push_back('\n');
    } else {
      b.push_back(' ');
    }
  }
  b.resize(n);
  return b;
}

// Long and short runs of one byte.
Bytes Runs(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) b.insert(b.end(), 1 + rng() % (rng() % 2 ? 3 : 3000), static_cast<std::uint8_t>(rng() % 4));
  b.resize(n);
  return b;
}

// Records of small little-endian numbers, as tables in binary files look.
Bytes Binary(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b;
  for (std::uint32_t i = 0; b.size() < n; ++i) {
    const std::uint32_t fields[] = {i, i * 40 + 0x1000, static_cast<std::uint32_t>(rng() % 16), 0xFFFFFFFFu};
    for (std::uint32_t f : fields) {
      for (int k = 0; k < 4; ++k) b.push_back(static_cast<std::uint8_t>(f >> (8 * k)));
    }
  }
  b.resize(n);
  return b;
}

// Text and noise in turns: blocks of either kind next to each other.
Bytes Mixed(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) {
    const std::size_t piece = 1 + rng() % 40000;
    const Bytes part = rng() % 3 == 0 ? RandomBytes(piece, rng()) : Text(piece, rng());
    b.insert(b.end(), part.begin(), part.end());
  }
  b.resize(n);
  return b;
}

struct Kind {
  const char* name;
  Bytes (*make)(std::size_t, unsigned);
};
const Kind kKinds[] = {{"random", RandomBytes}, {"text", Text}, {"runs", Runs}, {"binary", Binary}, {"mixed", Mixed}};

// ---- compressing and reading back ----

CompressedSection Compress(const Bytes& input, const LzxSettings& settings, std::size_t piece = 0) {
  CompressedSection s{{}, {}, settings.window_bits, settings.reset_interval_frames, input.size()};
  LzxSectionCompressor compressor(settings, [&s](const std::uint8_t* data, std::size_t size) {
    s.bytes.insert(s.bytes.end(), data, data + size);
    return true;
  });
  if (piece == 0) piece = input.size() + 1;
  for (std::size_t at = 0; at < input.size(); at += piece) {
    EXPECT_TRUE(compressor.Write(input.data() + at, std::min(piece, input.size() - at)));
  }
  EXPECT_TRUE(compressor.Finish());
  EXPECT_EQ(compressor.UncompressedSize(), input.size());
  EXPECT_EQ(compressor.CompressedSize(), s.bytes.size());
  s.frame_offsets = compressor.FrameOffsets();
  return s;
}

::testing::AssertionResult SameOutput(const char* reader, const Bytes& expected, const Bytes& actual,
                                      const std::string& error) {
  if (!error.empty()) return ::testing::AssertionFailure() << reader << ": " << error;
  if (expected.size() != actual.size()) {
    return ::testing::AssertionFailure() << reader << " gave " << actual.size() << " bytes, not " << expected.size();
  }
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] != actual[i]) {
      return ::testing::AssertionFailure() << reader << " differs first at byte " << i << " (frame " << i / kFrame
                                           << "): " << int{actual[i]} << " instead of " << int{expected[i]};
    }
  }
  return ::testing::AssertionSuccess();
}

// Both readers must give the input back byte for byte.
::testing::AssertionResult RoundTrips(const Bytes& input, const CompressedSection& s) {
  std::string error;
  const Bytes by_chmlib = testing::DecodeWithChmlib(s, &error);
  auto chmlib = SameOutput("chmlib", input, by_chmlib, error);
  if (!chmlib) return chmlib;
  inkbinder::testing::ScopedTempDir dir("lzx");
  error.clear();
  const Bytes by_mspack = testing::DecodeWithMspack(s, dir.path(), &error);
  return SameOutput("libmspack", input, by_mspack, error);
}

LzxSettings Settings(unsigned window_bits = 16, unsigned interval = 2, unsigned threads = 1) {
  LzxSettings s;
  s.window_bits = window_bits;
  s.reset_interval_frames = interval;
  s.threads = threads;
  return s;
}

// ---- tests ----

TEST(LzxCompressor, EveryKindAndSizeAroundFrameAndIntervalBordersRoundTrips) {
  const std::size_t sizes[] = {1, 2, 3, 257, 258, kFrame - 1, kFrame, kFrame + 1,
                               2 * kFrame - 1, 2 * kFrame, 2 * kFrame + 1, 5 * kFrame + 7};
  unsigned seed = 1;
  for (const Kind& kind : kKinds) {
    for (std::size_t size : sizes) {
      SCOPED_TRACE(std::string(kind.name) + ", " + std::to_string(size) + " bytes");
      const Bytes input = kind.make(size, seed++);
      EXPECT_TRUE(RoundTrips(input, Compress(input, Settings())));
    }
  }
}

// A stored frame between compressed ones: the next block's trees are coded
// against the last compressed block's, and the repeat offsets it starts with
// are those the stored block's header carries.
TEST(LzxCompressor, StoredFrameBetweenCompressedFrames) {
  Bytes input = Text(kFrame, 31);
  Bytes noise = RandomBytes(kFrame, 32);
  // One match inside the noise, 1000 bytes back, and the next frame opens
  // with more bytes from 1000 back: a repeat of that distance.
  std::copy(noise.begin() + 31000, noise.begin() + 31024, noise.begin() + 32000);
  input.insert(input.end(), noise.begin(), noise.end());
  input.insert(input.end(), noise.begin() + 31768, noise.begin() + 31868);
  const Bytes more = Text(2 * kFrame, 31);
  input.insert(input.end(), more.begin(), more.end());
  const CompressedSection s = Compress(input, Settings(16, 4));
  ASSERT_EQ(s.frame_offsets.size(), 5u);
  // The noise frame is stored: its bytes follow its offset almost verbatim.
  EXPECT_LE(s.frame_offsets[2] - s.frame_offsets[1], kFrame + 32);
  EXPECT_TRUE(RoundTrips(input, s));
}

TEST(LzxCompressor, EmptyInputGivesNoFrames) {
  const CompressedSection s = Compress({}, Settings());
  EXPECT_TRUE(s.bytes.empty());
  EXPECT_TRUE(s.frame_offsets.empty());
}

TEST(LzxCompressor, EveryWindowAndResetIntervalRoundTrips) {
  for (unsigned window_bits = 15; window_bits <= 21; ++window_bits) {
    for (unsigned interval : {1u, 2u, 3u, 8u}) {
      SCOPED_TRACE("window 2^" + std::to_string(window_bits) + ", reset every " + std::to_string(interval) + " frames");
      // Text repeated at long distances, so far matches are tried.
      Bytes input = Mixed(interval * kFrame + 3 * kFrame / 2, window_bits * 10 + interval);
      const Bytes again(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(input.size() / 2));
      input.insert(input.end(), again.begin(), again.end());
      EXPECT_TRUE(RoundTrips(input, Compress(input, Settings(window_bits, interval))));
    }
  }
}

TEST(LzxCompressor, ThreadsGiveTheSameBytesInOrder) {
  const Bytes input = Mixed(24 * kFrame + 12345, 5);
  const CompressedSection one = Compress(input, Settings(16, 2, 1), 1000);
  for (unsigned threads : {2u, 3u, 0u}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    const CompressedSection many = Compress(input, Settings(16, 2, threads), 7777);
    EXPECT_EQ(one.bytes, many.bytes);
    EXPECT_EQ(one.frame_offsets, many.frame_offsets);
  }
  EXPECT_TRUE(RoundTrips(input, one));
}

TEST(LzxCompressor, FramesStartOnEvenOffsetsInOrder) {
  const Bytes input = Mixed(9 * kFrame + 1, 3);
  const CompressedSection s = Compress(input, Settings(16, 3));
  ASSERT_EQ(s.frame_offsets.size(), 10u);
  EXPECT_EQ(s.frame_offsets[0], 0u);
  for (std::size_t f = 1; f < s.frame_offsets.size(); ++f) {
    EXPECT_LT(s.frame_offsets[f - 1], s.frame_offsets[f]);
    EXPECT_EQ(s.frame_offsets[f] % 2, 0u);
  }
  EXPECT_EQ(s.bytes.size() % 2, 0u);
}

TEST(LzxCompressor, TextShrinksAndNoiseBarelyGrows) {
  const Bytes text = Text(8 * kFrame, 11);
  const CompressedSection t = Compress(text, Settings());
  EXPECT_LT(t.bytes.size(), text.size() * 30 / 100);

  const Bytes runs = Runs(8 * kFrame, 12);
  EXPECT_LT(Compress(runs, Settings()).bytes.size(), runs.size() / 50);

  // Noise is stored: a header and the repeat offsets per block, no more.
  const Bytes noise = RandomBytes(8 * kFrame, 13);
  EXPECT_LE(Compress(noise, Settings()).bytes.size(), noise.size() + 8 * 32);
}

// In intervals longer than 64 KiB, what lies past the first 64 KiB is found
// again as well as what lies before: noise, then its last 30,000 bytes again.
// The copy costs a few matches.
TEST(LzxCompressor, LongIntervalsFindRepeatsPastTheirFirst64KiB) {
  const Bytes noise = RandomBytes(100000, 21);
  Bytes input = noise;
  input.insert(input.end(), noise.end() - 30000, noise.end());
  for (unsigned window_bits : {17u, 21u}) {
    SCOPED_TRACE("window 2^" + std::to_string(window_bits));
    const CompressedSection s = Compress(input, Settings(window_bits, 5));
    EXPECT_LT(s.bytes.size(), noise.size() + 2000);
    EXPECT_TRUE(RoundTrips(input, s));
  }
}

// Random letters from a small alphabet: literals cost under 3 bits here, so
// the short matches such text is full of do not pay, and taking them made the
// output a tenth larger than sending every byte as a literal.
TEST(LzxCompressor, FewRepeatsCostNoMoreThanLiterals) {
  std::mt19937 rng(7);
  Bytes text;
  while (text.size() < 8 * kFrame) {
    for (int i = 0; i < 70; ++i) text.push_back(static_cast<std::uint8_t>("abcdef "[rng() % 7]));
    text.push_back('\r');
    text.push_back('\n');
  }
  text.resize(8 * kFrame);
  // A literal code for the seven letters: lengths 2 and 3, on average
  // (2 + 6 * 3) / 7 bits; the line ends cost 8 bits each. 2 % for the trees.
  const double literal_bits = (70 * (2.0 + 6 * 3) / 7 + 2 * 8) / 72 * static_cast<double>(text.size());
  const CompressedSection s = Compress(text, Settings());
  EXPECT_LE(8.0 * static_cast<double>(s.bytes.size()), 1.02 * literal_bits);
  EXPECT_TRUE(RoundTrips(text, s));
}

TEST(LzxCompressor, OutputFlowsBeforeFinish) {
  for (unsigned threads : {1u, 2u}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    std::size_t received = 0;
    LzxSectionCompressor compressor(Settings(16, 2, threads), [&](const std::uint8_t*, std::size_t size) {
      received += size;
      return true;
    });
    const Bytes input = Text(16 * kFrame, 4);
    ASSERT_TRUE(compressor.Write(input.data(), input.size()));
    // At most a few intervals per thread wait for their turn.
    EXPECT_GT(received, 0u);
    EXPECT_TRUE(compressor.Finish());
  }
}

TEST(LzxCompressor, SinkFailureStopsAndIsReported) {
  for (unsigned threads : {1u, 3u}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    int calls = 0;
    LzxSectionCompressor compressor(Settings(16, 1, threads), [&](const std::uint8_t*, std::size_t) {
      return ++calls < 2;
    });
    const Bytes input = Text(40 * kFrame, 8);
    bool written = true;
    for (std::size_t at = 0; at < input.size() && written; at += kFrame) written = compressor.Write(input.data() + at, kFrame);
    EXPECT_FALSE(written);
    EXPECT_FALSE(compressor.Finish());
    EXPECT_EQ(calls, 2);
  }
}

TEST(LzxCompressor, RefusesSettingsReadersCannotFollow) {
  auto sink = [](const std::uint8_t*, std::size_t) { return true; };
  EXPECT_THROW(LzxSectionCompressor(Settings(14), sink), std::invalid_argument);
  EXPECT_THROW(LzxSectionCompressor(Settings(22), sink), std::invalid_argument);
  EXPECT_THROW(LzxSectionCompressor(Settings(16, 0), sink), std::invalid_argument);
}

// Random inputs, settings and write pieces. INKBINDER_LZX_FUZZ_BYTES raises
// the total (default 2 MB), INKBINDER_LZX_FUZZ_SEED picks other inputs.
TEST(LzxCompressor, FuzzRoundTrips) {
  std::size_t budget = 2u << 20;
  if (const char* env = std::getenv("INKBINDER_LZX_FUZZ_BYTES")) budget = std::strtoull(env, nullptr, 10);
  unsigned seed = 2024;
  if (const char* env = std::getenv("INKBINDER_LZX_FUZZ_SEED")) seed = static_cast<unsigned>(std::strtoul(env, nullptr, 10));
  std::mt19937 rng(seed);
  for (std::size_t done = 0; done < budget;) {
    const Kind& kind = kKinds[rng() % std::size(kKinds)];
    std::size_t size = rng() % (6 * kFrame);
    if (rng() % 3 == 0) size = (rng() % 6 + 1) * kFrame + (rng() % 5) - 2;
    const LzxSettings settings = Settings(15 + rng() % 7, 1 + rng() % 4, 1 + rng() % 3);
    Bytes input = kind.make(size, rng());
    // Sometimes a copy of an earlier stretch, for long-distance matches.
    if (input.size() > 1000 && rng() % 2) {
      const std::size_t from = rng() % (input.size() / 2);
      input.insert(input.end(), input.begin() + static_cast<std::ptrdiff_t>(from),
                   input.begin() + static_cast<std::ptrdiff_t>(from + input.size() / 3));
    }
    SCOPED_TRACE(std::string(kind.name) + ", " + std::to_string(input.size()) + " bytes, window 2^" +
                 std::to_string(settings.window_bits) + ", reset every " +
                 std::to_string(settings.reset_interval_frames));
    ASSERT_TRUE(RoundTrips(input, Compress(input, settings, 1 + rng() % 50000)));
    done += input.size() + 1;
  }
}

}  // namespace
}  // namespace helpbook
