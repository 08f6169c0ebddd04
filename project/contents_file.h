#pragma once

#include <string>
#include <vector>

namespace inkbinder {

// The table of contents: one entry per page, in list order, under "目录". UTF-8.
// `names` are the pages' entry names (ReadPageNames).
std::string ContentsFileText(const std::vector<std::string>& pages,
                            const std::vector<std::string>& names);

// Writes chm_hhc.hhc into `folder`; false when it could not be written.
bool WriteContentsFile(const std::string& folder, const std::vector<std::string>& pages,
                    const std::vector<std::string>& names);

}  // namespace inkbinder
