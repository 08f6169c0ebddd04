#pragma once

#include <string>
#include <vector>

namespace inkbinder::hhc {

inline constexpr char kGbkLocaleName[] = "zh_CN.GBK";

// Where chmcmd finds the zh_CN.GBK locale it needs to read index keywords.
struct GbkLocale {
  bool found = false;
  std::string locpath;  // LOCPATH for chmcmd; empty when the system has the locale
};

// The folders tried, in order, after the system's own locales:
// <program folder>/locale and ${XDG_CACHE_HOME:-$HOME/.cache}/inkbinder/locale.
std::vector<std::string> PrivateLocaleFolders(const std::string& program_folder);

// True when the zh_CN.GBK locale loads, from `locpath` or (when empty) from
// wherever the environment points glibc.
bool GbkLocaleLoads(const std::string& locpath);

// The system's locale, else the first private folder that holds one, else a
// locale freshly generated with localedef into the last private folder.
// `notes` collects what the user should hear about (a generation, a failure).
GbkLocale FindGbkLocale(const std::string& program_folder, std::string* notes);

// Runs localedef to write zh_CN.GBK into `folder`. Generated under a
// temporary name and renamed, so two compilers racing do not meet halfway.
bool GenerateGbkLocale(const std::string& folder);

}  // namespace inkbinder::hhc
