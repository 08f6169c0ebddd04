#pragma once
// The files a compile writes beside the book before it is whole. They are
// registered while they exist, so that a compile that is interrupted (a
// signal) can remove them on its way out.

#include <string>

namespace helpbook {

void RegisterTemporaryFile(const std::string& path);
void UnregisterTemporaryFile(const std::string& path);
// Removes every registered file. Takes no lock and allocates nothing, so a
// signal handler may call it.
void RemoveTemporaryFiles();

}  // namespace helpbook
