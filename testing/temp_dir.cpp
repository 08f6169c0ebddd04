#include "testing/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace inkbinder::testing {

namespace {
fs::path Path(const std::string& utf8) { return fs::u8path(utf8); }
}  // namespace

ScopedTempDir::ScopedTempDir(const std::string& hint) {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() /
        fs::u8path(hint + "-" + std::to_string(stamp % 1000000007) + "-" +
                   std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.generic_u8string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ec;
  fs::permissions(Path(path_), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(Path(path_), ec);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(Path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(Path(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(Path(path), ec);
}

void MakeFolder(const std::string& path) { fs::create_directories(Path(path)); }

std::string Backslashed(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

}  // namespace inkbinder::testing
