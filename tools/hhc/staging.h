#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/hhc/book_check.h"
#include "tools/hhc/help_project.h"

namespace inkbinder::hhc {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when
// the object goes, whatever happened in between. Its name records our pid,
// so that the folder of a run that was killed outright can be told apart
// and removed by a later one.
class StagingFolder {
 public:
  StagingFolder() = default;
  ~StagingFolder();
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  bool Create(std::string* error);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// $TMPDIR, or /tmp.
std::string StagingTempFolder();

// Removes the staging folders in `temp_folder` whose recorded owner is no
// longer running. StagingFolder::Create does it before it makes its own.
void RemoveOrphanedStagingFolders(const std::string& temp_folder);

// The path chmcmd reads a file from, given its name in the project: it takes
// every '\' for a folder separator, byte by byte, trail bytes of code page
// 936 included. (The book it writes keeps its name's bytes as they are.)
std::string ChmcmdPath(std::string_view project_bytes);

// The file on this disk that a name from the project means: the project
// folder plus the name turned into UTF-8, '\' read as a separator.
std::string DiskPath(const std::string& project_folder, std::string_view project_bytes);

// The project as chmcmd is given it: [FILES] lines in UTF-8 (chmcmd stores
// page names as it reads them there, and readers look pages up by UTF-8
// names), `end_marker` listed after every page, and no binary keyword index
// (chmcmd's is broken; readers fall back on the index sitemap). Everything
// else stays as written, in code page 936.
std::string ProjectForChmcmd(std::string_view project_text, const std::string& end_marker);

// The largest page chmcmd can take: it keeps a file's size in 32 bits, signed.
inline constexpr std::uint64_t kLargestPage = (std::uint64_t{1} << 31) - 1;

// Fills `staging` for chmcmd: the project as ProjectForChmcmd makes it,
// copies of the contents and index files, for every [FILES] entry a link
// (hard where it can be, else symbolic) under the entry's UTF-8 name pointing
// at the page on disk, an empty file under the end marker's name, and the
// folder chmcmd will write the book into. Pages are linked, not copied: a
// book can hold thousands. `pages` receives what the book must hold. False
// with a message when a page is missing, too large or named so that chmcmd
// cannot take it. A page that cannot be read as a file is staged empty, with
// a word in `notes`.
bool StageProject(const std::string& project_path, std::string_view project_text,
                  const HelpProject& project, const std::string& staging,
                  std::vector<ExpectedPage>* pages, std::string* notes, std::string* error);

}  // namespace inkbinder::hhc
