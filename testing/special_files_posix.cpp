#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "testing/special_files.h"

namespace inkbinder::testing {

bool MakeSymbolicLink(const std::string& target, const std::string& at, std::string* why) {
  if (symlink(target.c_str(), at.c_str()) == 0) return true;
  *why = std::strerror(errno);
  return false;
}

bool MakeFifo(const std::string& path) { return mkfifo(path.c_str(), 0644) == 0; }

bool SetWindowsAttributes(const std::string&, std::uint32_t) { return false; }

bool ExtendSparse(const std::string& path, std::int64_t size) {
  return truncate(path.c_str(), static_cast<off_t>(size)) == 0;
}

ScopedFileSizeLimit::ScopedFileSizeLimit(std::int64_t bytes) {
  // Past the limit a write fails with EFBIG instead of ending the writer.
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0) return;
  old_limit_ = static_cast<std::int64_t>(limit.rlim_cur);
  limit.rlim_cur = static_cast<rlim_t>(bytes);
  active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
  struct rlimit limit;
  if (!active_ || getrlimit(RLIMIT_FSIZE, &limit) != 0) return;
  limit.rlim_cur = static_cast<rlim_t>(old_limit_);
  setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace inkbinder::testing
