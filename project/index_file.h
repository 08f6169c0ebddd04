#pragma once

#include <string>
#include <vector>

#include "project/page_entry.h"

namespace inkbinder {

// The keyword index: one flat list, one keyword per page, in list order. UTF-8.
// `names` are the pages' entry names (ReadPageNames).
std::string IndexFileText(const std::vector<std::string>& pages,
                            const std::vector<std::string>& names);

// Writes chm_hhk.hhk into `folder`; false when it could not be written.
bool WriteIndexFile(const std::string& folder, const std::vector<std::string>& pages,
                    const std::vector<std::string>& names);

// The same with the entries made already (EncodePageEntries), as a
// conversion makes them once for the contents and the index.
bool WriteIndexFile(const std::string& folder, const EncodedPageEntries& entries);

}  // namespace inkbinder
