#pragma once

#include <string>
#include <vector>

#include "project/page_entry.h"

namespace inkbinder {

// The table of contents: one entry per page, in list order, under "目录". UTF-8.
// `names` are the pages' entry names (ReadPageNames).
std::string ContentsFileText(const std::vector<std::string>& pages,
                            const std::vector<std::string>& names);

// Writes chm_hhc.hhc into `folder`; false when it could not be written.
bool WriteContentsFile(const std::string& folder, const std::vector<std::string>& pages,
                    const std::vector<std::string>& names);

// The same with the entries made already (EncodePageEntries), as a
// conversion makes them once for the contents and the index.
bool WriteContentsFile(const std::string& folder, const EncodedPageEntries& entries);

}  // namespace inkbinder
