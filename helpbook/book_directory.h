#pragma once
// The directory of a compiled help book: listing chunks (PMGL) holding every
// file's name, section, offset and length, and index chunks (PMGI) over them
// when one listing chunk is not enough.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace helpbook {

inline constexpr std::uint32_t kDirectoryChunkSize = 0x1000;
inline constexpr std::uint32_t kQuickRefDensity = 2;  // a quick reference every 1 + 2^2 entries
// Readers copy a name into a buffer of this size; a longer one cannot be found.
inline constexpr std::size_t kMaxNameLength = 512;

struct DirectoryEntry {
  std::string name;  // UTF-8, "/page.htm" or "::DataSpace/..."
  std::uint64_t section = 0;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

struct Directory {
  std::string chunks;         // every chunk, kDirectoryChunkSize bytes each
  std::uint32_t chunk_count = 0;
  std::uint32_t last_listing_chunk = 0;  // listing chunks come first, from chunk 0
  std::int32_t index_root = -1;          // -1 when there are no index chunks
  std::uint32_t depth = 1;               // 1 + levels of index chunks
};

// The order readers search names in: ASCII letters without case, then bytes.
// (Readers compare with an ASCII case-insensitive comparison while walking
// the index, so any other order hides names from them.)
bool NameBefore(std::string_view a, std::string_view b);

// Appends `value` as the directory's variable-length integer: 7 bits a byte,
// most significant first, the high bit set on every byte but the last.
void AppendEncInt(std::string* out, std::uint64_t value);

// Sorts `entries` in reader order (entries given in that order already are
// only looked over) and lays out the chunks. False with a
// message when two names are the same for a reader or a name is too long.
bool BuildDirectory(std::vector<DirectoryEntry> entries, Directory* directory, std::string* error);

}  // namespace helpbook
