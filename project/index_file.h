#pragma once

#include <string>
#include <vector>

namespace inkbinder {

// The keyword index: one flat list, one keyword per page, in list order. UTF-8.
// `names` are the pages' entry names (ReadPageNames).
std::string IndexFileText(const std::vector<std::string>& pages,
                            const std::vector<std::string>& names);

// Writes chm_hhk.hhk into `folder`; false when it could not be written.
bool WriteIndexFile(const std::string& folder, const std::vector<std::string>& pages,
                    const std::vector<std::string>& names);

}  // namespace inkbinder
