#include "helpbook/book_directory.h"

#include <algorithm>
#include <cstring>

#include "helpbook/little_endian.h"
#include "platform/text.h"

namespace helpbook {

namespace {

// Listing chunks ("PMGL") and index chunks ("PMGI"): a signature, the free
// space at the chunk's end; a listing chunk then has a DWORD nobody reads and
// its neighbours' numbers.
constexpr char kListingSignature[] = "PMGL";
constexpr char kIndexSignature[] = "PMGI";
constexpr std::size_t kFreeSpaceAt = 0x04;
constexpr std::size_t kPreviousChunkAt = 0x0C;
constexpr std::size_t kNextChunkAt = 0x10;
constexpr std::size_t kListingHeaderSize = 0x14;
constexpr std::size_t kIndexHeaderSize = 0x08;
constexpr std::uint32_t kNoChunk = 0xFFFFFFFFu;
constexpr std::size_t kQuickRefStep = 1 + (1u << kQuickRefDensity);

int CompareFolded(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  // Names share long beginnings ("/第1234页"): bytes that are the same are
  // the same folded, and are passed over eight at a time; case counts only
  // where they differ.
  std::size_t i = 0;
  while (i + 8 <= n && std::memcmp(a.data() + i, b.data() + i, 8) == 0) i += 8;
  for (; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const unsigned char x = static_cast<unsigned char>(inkbinder::AsciiLower(a[i]));
    const unsigned char y = static_cast<unsigned char>(inkbinder::AsciiLower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Quick-reference bytes at a chunk's end for `count` entries: the entry count,
// then the offset of every kQuickRefStep-th entry after the first.
std::size_t QuickRefSize(std::size_t count) {
  return 2 + 2 * (count == 0 ? 0 : (count - 1) / kQuickRefStep);
}

// One chunk under construction: its entries' bytes and where each begins.
struct ChunkBuilder {
  std::size_t header_size = 0;
  std::string entries;
  std::vector<std::size_t> starts;

  bool Fits(std::size_t entry_size) const {
    return header_size + entries.size() + entry_size + QuickRefSize(starts.size() + 1) <=
           kDirectoryChunkSize;
  }
  void Add(const std::string& entry) {
    starts.push_back(entries.size());
    entries += entry;
  }
  // The chunk's bytes; `header` is written over its first bytes.
  std::string Bytes(const char* signature) const {
    std::string chunk(kDirectoryChunkSize, '\0');
    std::memcpy(&chunk[0], signature, 4);
    // Free space counts the quick-reference area: readers stop scanning
    // entries at the chunk's size less this value.
    PutLe32(&chunk, kFreeSpaceAt, static_cast<std::uint32_t>(kDirectoryChunkSize - header_size - entries.size()));
    std::memcpy(&chunk[header_size], entries.data(), entries.size());
    PutLe16(&chunk, kDirectoryChunkSize - 2, static_cast<std::uint32_t>(starts.size()));
    for (std::size_t q = 1; q * kQuickRefStep < starts.size(); ++q) {
      PutLe16(&chunk, kDirectoryChunkSize - 2 - 2 * q,
              static_cast<std::uint32_t>(starts[q * kQuickRefStep]));
    }
    return chunk;
  }
};

// A name as the directory writes it, appended to `out`.
void AppendNameField(std::string* out, const std::string& name) {
  AppendEncInt(out, name.size());
  *out += name;
}

}  // namespace

bool NameBefore(std::string_view a, std::string_view b) {
  const int folded = CompareFolded(a, b);
  return folded != 0 ? folded < 0 : a < b;
}

void AppendEncInt(std::string* out, std::uint64_t value) {
  char bytes[10];
  int n = 0;
  do {
    bytes[n++] = static_cast<char>(value & 0x7f);
    value >>= 7;
  } while (value != 0);
  while (n > 1) out->push_back(static_cast<char>(bytes[--n] | 0x80));
  out->push_back(bytes[0]);
}

namespace {

// False with a message for a name readers cannot find: too long, or the
// same as its neighbour's for them. `entries` are in reader order.
bool CheckNames(const std::vector<const DirectoryEntry*>& entries, std::string* error) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i]->name.size() > kMaxNameLength) {
      *error = "the name is longer than readers accept (" + std::to_string(kMaxNameLength) +
               " bytes): " + entries[i]->name;
      return false;
    }
    if (i > 0 && CompareFolded(entries[i - 1]->name, entries[i]->name) == 0) {
      *error = "two files have the same name for a reader: " + entries[i - 1]->name + " and " +
               entries[i]->name;
      return false;
    }
  }
  return true;
}

// The listing chunks, each linked to its neighbours, and the first name of
// each for the index above them.
std::vector<std::string> ListingChunks(const std::vector<const DirectoryEntry*>& entries,
                                       std::vector<std::string>* first_names) {
  ChunkBuilder listing{kListingHeaderSize, {}, {}};
  std::vector<ChunkBuilder> listings;
  std::string entry;
  for (const DirectoryEntry* at : entries) {
    const DirectoryEntry& e = *at;
    entry.clear();
    AppendNameField(&entry, e.name);
    AppendEncInt(&entry, e.section);
    AppendEncInt(&entry, e.offset);
    AppendEncInt(&entry, e.length);
    if (!listing.Fits(entry.size())) {
      listings.push_back(std::move(listing));
      listing = ChunkBuilder{kListingHeaderSize, {}, {}};
    }
    if (listing.starts.empty()) first_names->push_back(e.name);
    listing.Add(entry);
  }
  listings.push_back(std::move(listing));
  std::vector<std::string> chunks;
  const std::uint32_t listing_count = static_cast<std::uint32_t>(listings.size());
  for (std::uint32_t i = 0; i < listing_count; ++i) {
    std::string chunk = listings[i].Bytes(kListingSignature);
    PutLe32(&chunk, kPreviousChunkAt, i == 0 ? kNoChunk : i - 1);
    PutLe32(&chunk, kNextChunkAt, i + 1 == listing_count ? kNoChunk : i + 1);
    chunks.push_back(std::move(chunk));
  }
  return chunks;
}

// Index levels above the listing chunks until one chunk covers everything;
// the root comes last. Returns the directory's depth.
std::uint32_t AddIndexLevels(std::vector<std::string> first_names, std::vector<std::string>* chunks) {
  std::uint32_t depth = 1;
  std::uint32_t level_first = 0;  // chunk number of the level's first child
  while (first_names.size() > 1) {
    ++depth;
    std::vector<std::string> parent_names;
    ChunkBuilder index{kIndexHeaderSize, {}, {}};
    const std::uint32_t level_start = static_cast<std::uint32_t>(chunks->size());
    std::vector<std::string> level_chunks;
    std::string entry;
    for (std::size_t i = 0; i < first_names.size(); ++i) {
      entry.clear();
      AppendNameField(&entry, first_names[i]);
      AppendEncInt(&entry, level_first + i);
      if (!index.Fits(entry.size())) {
        level_chunks.push_back(index.Bytes(kIndexSignature));
        index = ChunkBuilder{kIndexHeaderSize, {}, {}};
      }
      if (index.starts.empty()) parent_names.push_back(first_names[i]);
      index.Add(entry);
    }
    level_chunks.push_back(index.Bytes(kIndexSignature));
    for (std::string& c : level_chunks) chunks->push_back(std::move(c));
    level_first = level_start;
    first_names = std::move(parent_names);
  }
  return depth;
}

}  // namespace

bool BuildDirectory(std::vector<DirectoryEntry> entries, Directory* directory,
                    std::string* error) {
  // The entries stay where they are and are sorted by reference: moving
  // 100,000 of them about cost more than comparing their names.
  std::vector<const DirectoryEntry*> order;
  order.reserve(entries.size());
  for (const DirectoryEntry& e : entries) order.push_back(&e);
  const auto before = [](const DirectoryEntry* a, const DirectoryEntry* b) {
    return NameBefore(a->name, b->name);
  };
  if (!std::is_sorted(order.begin(), order.end(), before)) std::sort(order.begin(), order.end(), before);
  if (!CheckNames(order, error)) return false;
  std::vector<std::string> first_names;
  std::vector<std::string> chunks = ListingChunks(order, &first_names);
  const std::uint32_t listing_count = static_cast<std::uint32_t>(chunks.size());
  const std::uint32_t depth = AddIndexLevels(std::move(first_names), &chunks);

  directory->chunk_count = static_cast<std::uint32_t>(chunks.size());
  directory->last_listing_chunk = listing_count - 1;
  directory->depth = depth;
  directory->index_root = depth == 1 ? -1 : static_cast<std::int32_t>(chunks.size() - 1);
  directory->chunks.clear();
  directory->chunks.reserve(chunks.size() * kDirectoryChunkSize);
  for (const std::string& c : chunks) directory->chunks += c;
  return true;
}

}  // namespace helpbook
