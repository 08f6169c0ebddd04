#pragma once

#include <cstdint>
#include <string>

// Files a test sets in a program's way that only the system's own calls make.
// Paths are UTF-8.
namespace inkbinder::testing {

// A symbolic link at `at` to `target` (which need not exist); false with the
// reason in *why where the system or its user may make none.
bool MakeSymbolicLink(const std::string& target, const std::string& at, std::string* why);

// A named pipe (FIFO) at `path`; false where there are none (Windows).
bool MakeFifo(const std::string& path);

// Makes the file at `path` `size` bytes long, the new bytes zero and not
// written: the file system keeps them sparse.
bool ExtendSparse(const std::string& path, std::int64_t size);

// Sets the Windows attributes `attributes` (FILE_ATTRIBUTE_HIDDEN, ...) on
// `path`; false when they do not hold afterwards, or on other systems.
bool SetWindowsAttributes(const std::string& path, std::uint32_t attributes);

}  // namespace inkbinder::testing
