// lzx-bench: speed and ratio of the section compressor per thread count, on
// generated help pages or on a file.
//
//   lzx-bench [--pages N] [--file PATH] [--reps R] [--window BITS] [--interval FRAMES]
//             [--threads T]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "bench/page_corpus.h"
#include "helpbook/lzx/lzx_compressor.h"

namespace {

using inkbinder::bench::CpuSeconds;
using inkbinder::bench::Median;
using inkbinder::bench::NowSeconds;

std::vector<std::uint8_t> ReadFile(const char* path) {
  std::vector<std::uint8_t> bytes;
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return bytes;
  std::uint8_t buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t pages = 8186;
  const char* file = nullptr;
  int reps = 3;
  unsigned only_threads = 0;
  helpbook::LzxSettings base;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--pages")) pages = std::strtoull(argv[i + 1], nullptr, 10);
    else if (!std::strcmp(argv[i], "--file")) file = argv[i + 1];
    else if (!std::strcmp(argv[i], "--reps")) reps = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--window")) base.window_bits = static_cast<unsigned>(std::atoi(argv[i + 1]));
    else if (!std::strcmp(argv[i], "--threads")) only_threads = static_cast<unsigned>(std::atoi(argv[i + 1]));
    else if (!std::strcmp(argv[i], "--interval")) base.reset_interval_frames = static_cast<unsigned>(std::atoi(argv[i + 1]));
  }
  std::vector<std::uint8_t> input;
  if (file != nullptr) {
    input = ReadFile(file);
  } else {
    for (std::size_t i = 0; i < pages; ++i) {
      const std::string page = inkbinder::bench::CorpusPageBytes(i);
      input.insert(input.end(), page.begin(), page.end());
    }
  }
  std::printf("input=%zu window=%u interval=%u\n", input.size(), base.window_bits, base.reset_interval_frames);
  for (unsigned threads : {1u, 2u}) {
    if (only_threads != 0 && threads != only_threads) continue;
    helpbook::LzxSettings settings = base;
    settings.threads = threads;
    std::vector<double> wall, cpu;
    std::uint64_t size = 0;
    for (int r = 0; r < reps; ++r) {
      const double w0 = NowSeconds(), c0 = CpuSeconds();
      helpbook::LzxSectionCompressor compressor(settings, [](const std::uint8_t*, std::size_t) { return true; });
      compressor.Write(input.data(), input.size());
      compressor.Finish();
      wall.push_back(NowSeconds() - w0);
      cpu.push_back(CpuSeconds() - c0);
      size = compressor.CompressedSize();
    }
    const double mb = static_cast<double>(input.size()) / 1e6;
    std::printf("threads=%u size=%llu ratio=%.4f wall_s=%.3f cpu_s=%.3f MB/s=%.1f\n", threads,
                static_cast<unsigned long long>(size), static_cast<double>(size) / static_cast<double>(input.size()),
                Median(wall), Median(cpu), mb / Median(wall));
  }
  return 0;
}
