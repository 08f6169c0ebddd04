// A compressing thread that runs out of memory: the compile fails with a
// message instead of ending the program. Every operator new of this test
// binary can be made to fail on threads other than the test's own.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "helpbook/lzx/lzx_compressor.h"
#include "platform/text.h"
#include "testing/temp_dir.h"
#include "tools/hhc/compile_project.h"

namespace {

std::atomic<bool> g_armed{false};
std::thread::id g_spared;

bool ShouldFail() { return g_armed && std::this_thread::get_id() != g_spared; }

// Allocations on other threads fail while it lives.
class OtherThreadsOutOfMemory {
 public:
  OtherThreadsOutOfMemory() {
    g_spared = std::this_thread::get_id();
    g_armed = true;
  }
  ~OtherThreadsOutOfMemory() { g_armed = false; }
};

}  // namespace

void* operator new(std::size_t size) {
  if (!ShouldFail()) {
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  }
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return ShouldFail() ? nullptr : std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace inkbinder {
namespace {

std::string Noise(std::size_t size) {
  std::mt19937 noise(7);
  std::string bytes;
  for (std::size_t i = 0; i < size; ++i) bytes += static_cast<char>(noise());
  return bytes;
}

TEST(WorkerFailureTest, TheCallerGetsWhatACompressingThreadThrew) {
  helpbook::LzxSettings settings;
  settings.threads = 2;
  const std::string input = Noise(1 << 20);
  bool caught = false;
  try {
    helpbook::LzxSectionCompressor compressor(settings, [](const std::uint8_t*, std::size_t) { return true; });
    const OtherThreadsOutOfMemory out_of_memory;
    compressor.Write(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    compressor.Finish();
  } catch (const std::bad_alloc&) {
    caught = true;
  }
  EXPECT_TRUE(caught);
}

TEST(WorkerFailureTest, HhcSaysTheCompileFailedAndKeepsTheOlderBook) {
  testing::ScopedTempDir dir("hhc 内存");
  testing::WriteBytes(dir / "1.txt", Noise(1 << 20));
  testing::WriteBytes(dir / "书.chm", "an older book");
  testing::WriteBytes(dir / "p.hhp", "[OPTIONS]\r\nCompiled file=" + Utf8ToCodePage("书.chm", kCodePage936) +
                                         "\r\n[FILES]\r\n1.txt\r\n");
  hhc::CompileSettings settings;
  settings.out = std::tmpfile();
  settings.options.lzx.threads = 2;
  bool compiled = true;
  {
    const OtherThreadsOutOfMemory out_of_memory;
    compiled = hhc::CompileProject(dir / "p.hhp", settings);
  }
  std::rewind(settings.out);
  char said[512] = {};
  std::fread(said, 1, sizeof said - 1, settings.out);
  std::fclose(settings.out);
  EXPECT_FALSE(compiled);
  EXPECT_NE(std::string(said).find("hhc: compile failed: std::bad_alloc"), std::string::npos) << said;
  EXPECT_EQ(testing::ReadBytes(dir / "书.chm"), "an older book");
  std::size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) entries += !e.path().empty();
  EXPECT_EQ(entries, 3u) << "no temporary file left";
}

}  // namespace
}  // namespace inkbinder
