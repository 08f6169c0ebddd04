#pragma once
// The book's numbers are little-endian: appended to a file's bytes, or
// written over bytes already in place.

#include <cstddef>
#include <cstdint>
#include <string>

namespace helpbook {

inline void AppendLe(std::string* out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}
inline void AppendLe16(std::string* out, std::uint32_t value) { AppendLe(out, value, 2); }
inline void AppendLe32(std::string* out, std::uint32_t value) { AppendLe(out, value, 4); }
inline void AppendLe64(std::string* out, std::uint64_t value) { AppendLe(out, value, 8); }

inline void PutLe(std::string* out, std::size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) (*out)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
inline void PutLe16(std::string* out, std::size_t at, std::uint32_t value) { PutLe(out, at, value, 2); }
inline void PutLe32(std::string* out, std::size_t at, std::uint32_t value) { PutLe(out, at, value, 4); }

}  // namespace helpbook
