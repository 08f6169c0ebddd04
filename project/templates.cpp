#include "project/templates.h"

#include <array>
#include <cstdlib>
#include <iterator>

namespace inkbinder {

namespace {

struct Template {
  int id;
  const char* text;
};

// Tagged 0x804 (Chinese, PRC) like the project that declares it.
constexpr Template kTemplateTable[] = {
    {1, "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">"},
    {2, "<HTML>"},
    {3, "<HEAD>"},
    {4, "<meta name=\"GENERATOR\" content=\"Microsoft&reg; HTML Help Workshop 4.1\">"},
    {5, "<!-- Sitemap 1.0 -->"},
    {6, "</HEAD><BODY>"},
    {7, "<OBJECT type=\"text/site properties\">"},
    {8, "<param name=\"ImageType\" value=\"Folder\">"},
    {9, "<UL>"},
    {10, "<LI> <OBJECT type=\"text/sitemap\">"},
    {11, "<param name=\"Name\" value=\"目录\">"},
    {12, "</OBJECT>"},
    {13, "<UL> ;32"},
    {14, "</BODY></HTML>"},
    {15, "<param name=\"Name\" value=\""},
    {16, "\">"},
    {18, "<param name=\"Local\" value=\""},
    {20, "</UL>"},
    {22, "[OPTIONS]"},
    {23, "Compatibility=1.1 or later"},
    {24, "Compiled file="},
    {25, "Contents file=chm_hhc.hhc"},
    {26, "Default Window=chm_window"},
    {28, "Display compile progress=No"},
    {29, "Index file=chm_hhk.hhk"},
    {30, "Language=0x804 中文(中国)"},
    {31, "[WINDOWS]"},
    {32, ",\"chm_hhc.hhc\",\"chm_hhk.hhk\",,,,,,\"关于\",0x2120,,0x8380e,[84,25,648,513],,,,,,,0"},
    {33, "[FILES]"},
    {34, "[INFOTYPES]\r\n"},
    {35, "chm_window="},
};

constexpr int kHighestId = 35;

}  // namespace

const std::string& LoadTemplate(int id) {
  static const std::array<std::string, kHighestId + 1> texts = [] {
    std::array<std::string, kHighestId + 1> made;
    for (const Template& t : kTemplateTable) made[t.id] = t.text;
    return made;
  }();
  // Only the ids above are ever asked for: another id is a programming error.
  if (id < 1 || id > kHighestId || texts[id].empty()) std::abort();
  return texts[id];
}

}  // namespace inkbinder
