#pragma once

#include <cstdio>
#include <string>

#include "tools/hhc/gbk_locale.h"

namespace inkbinder::hhc {

struct ChmcmdRun {
  bool started = false;
  int exit_code = -1;  // 128 + the signal number when it was killed
  std::string output;  // standard output and standard error, as they came
};

// Runs `program` (looked up in PATH when it has no '/') on `project_name`
// inside `folder`, under the GBK locale when there is one. Its output is
// passed on to `echo` as it comes and kept for judging.
ChmcmdRun RunChmcmd(const std::string& program, const std::string& folder,
                    const std::string& project_name, const GbkLocale& locale, std::FILE* echo);

}  // namespace inkbinder::hhc
