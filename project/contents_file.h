#pragma once

#include <string>
#include <vector>

namespace inkbinder {

// The table of contents: one entry per page, in list order, under "目录". UTF-8.
std::string ContentsFileText(const std::string& folder, const std::vector<std::string>& pages);

// Writes chm_hhc.hhc into `folder`; false when it could not be written.
bool WriteContentsFile(const std::string& folder, const std::vector<std::string>& pages);

}  // namespace inkbinder
