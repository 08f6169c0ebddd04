#include "tools/hhc/directory_header.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "project/file_open.h"

namespace inkbinder::hhc {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::uint64_t Little(const unsigned char* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

bool ReadAt(std::FILE* f, std::uint64_t offset, void* buffer, size_t size) {
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0 &&
         std::fread(buffer, 1, size, f) == size;
}

// Header offsets, from the format's public descriptions.
constexpr size_t kItsfHeaderSize = 0x58;
constexpr size_t kDirectoryOffsetField = 0x48;  // the second header section's offset
constexpr size_t kItspHeaderSize = 0x54;
constexpr size_t kFirstListingField = 0x20;
constexpr size_t kLastListingField = 0x24;

}  // namespace

bool RepairFirstListingChunk(const std::string& book, std::string* error) {
  std::unique_ptr<std::FILE, FileCloser> f(OpenFile(book, "r+b"));
  if (!f) {
    *error = "cannot open the book " + book + " to check its directory";
    return false;
  }
  unsigned char itsf[kItsfHeaderSize];
  if (!ReadAt(f.get(), 0, itsf, sizeof itsf) || std::memcmp(itsf, "ITSF", 4) != 0) {
    return true;  // not a book we know: the reader check will say so
  }
  const std::uint64_t directory = Little(itsf + kDirectoryOffsetField, 8);
  unsigned char itsp[kItspHeaderSize];
  if (!ReadAt(f.get(), directory, itsp, sizeof itsp) || std::memcmp(itsp, "ITSP", 4) != 0) {
    return true;
  }
  const std::uint64_t header_length = Little(itsp + 0x08, 4);
  const std::uint64_t chunk_size = Little(itsp + 0x10, 4);
  const std::uint32_t first = static_cast<std::uint32_t>(Little(itsp + kFirstListingField, 4));
  const std::uint32_t last = static_cast<std::uint32_t>(Little(itsp + kLastListingField, 4));
  const std::uint64_t chunk_count = Little(itsp + 0x2C, 4);
  if (chunk_size < 0x14 || chunk_count == 0 || chunk_count > (1u << 20)) return true;

  // Each listing chunk's predecessor and successor (-1: none).
  struct Links {
    bool listing = false;
    std::int64_t previous = -1;
    std::int64_t next = -1;
  };
  std::vector<Links> chunks(chunk_count);
  size_t listing_chunks = 0;
  std::int64_t no_predecessor = -1;
  for (std::uint64_t i = 0; i < chunk_count; ++i) {
    unsigned char head[0x14];
    if (!ReadAt(f.get(), directory + header_length + i * chunk_size, head, sizeof head)) return true;
    if (std::memcmp(head, "PMGL", 4) != 0) continue;
    chunks[i].listing = true;
    chunks[i].previous = static_cast<std::int32_t>(Little(head + 0x0C, 4));
    chunks[i].next = static_cast<std::int32_t>(Little(head + 0x10, 4));
    ++listing_chunks;
    if (chunks[i].previous == -1) {
      if (no_predecessor != -1) return true;  // two chains
      no_predecessor = static_cast<std::int64_t>(i);
    }
  }
  if (no_predecessor < 0 || static_cast<std::uint32_t>(no_predecessor) == first) return true;

  // The chain from there must visit every listing chunk once and end at the last.
  std::int64_t at = no_predecessor;
  std::int64_t before = -1;
  size_t visited = 0;
  while (true) {
    if (at < 0 || static_cast<std::uint64_t>(at) >= chunk_count || !chunks[at].listing ||
        chunks[at].previous != before || ++visited > listing_chunks) {
      return true;
    }
    if (chunks[at].next == -1) break;
    before = at;
    at = chunks[at].next;
  }
  if (visited != listing_chunks || static_cast<std::uint32_t>(at) != last) return true;

  unsigned char field[4];
  for (int i = 0; i < 4; ++i) field[i] = static_cast<unsigned char>(no_predecessor >> (8 * i));
  if (fseeko(f.get(), static_cast<off_t>(directory + kFirstListingField), SEEK_SET) != 0 ||
      std::fwrite(field, 1, sizeof field, f.get()) != sizeof field || std::fflush(f.get()) != 0) {
    *error = "cannot correct the directory header of " + book;
    return false;
  }
  return true;
}

}  // namespace inkbinder::hhc
