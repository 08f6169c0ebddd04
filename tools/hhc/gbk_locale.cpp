#include "tools/hhc/gbk_locale.h"

#include <errno.h>
#include <fcntl.h>
#include <locale.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace inkbinder::hhc {

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
  const char* value = getenv(name);
  return value != nullptr ? value : "";
}

bool RunQuietly(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) != 127;
}

}  // namespace

std::vector<std::string> PrivateLocaleFolders(const std::string& program_folder) {
  std::string cache = Env("XDG_CACHE_HOME");
  if (cache.empty()) {
    const std::string home = Env("HOME");
    cache = (home.empty() ? std::string("/tmp") : home) + "/.cache";
  }
  return {program_folder + "/locale", cache + "/inkbinder/locale"};
}

bool GbkLocaleLoads(const std::string& locpath) {
  // Tried in a child: glibc reads LOCPATH on every newlocale call but keeps
  // what it loaded for good, and our own environment stays as it was.
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (!locpath.empty()) setenv("LOCPATH", locpath.c_str(), 1);
    _exit(newlocale(LC_ALL_MASK, kGbkLocaleName, static_cast<locale_t>(0)) != nullptr ? 0 : 1);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool GenerateGbkLocale(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(fs::path(folder), ec);
  if (ec) return false;
  const std::string final_dir = folder + "/" + kGbkLocaleName;
  std::string temp = folder + "/.zh_CN.GBK-XXXXXX";
  if (mkdtemp(temp.data()) == nullptr) return false;
  // localedef warns about a few GBK mappings and exits non-zero, yet writes
  // a working locale: judge by what it wrote.
  RunQuietly({"localedef", "-i", "zh_CN", "-f", "GBK", temp});
  bool ok = fs::exists(fs::path(temp + "/LC_CTYPE"), ec);
  if (ok && rename(temp.c_str(), final_dir.c_str()) != 0) {
    ok = fs::exists(fs::path(final_dir + "/LC_CTYPE"), ec);  // someone else was first
  }
  fs::remove_all(fs::path(temp), ec);
  return ok;
}

GbkLocale FindGbkLocale(const std::string& program_folder, std::string* notes) {
  GbkLocale result;
  if (GbkLocaleLoads("")) {
    result.found = true;
    return result;
  }
  const std::vector<std::string> folders = PrivateLocaleFolders(program_folder);
  for (const std::string& folder : folders) {
    std::error_code ec;
    if (fs::exists(fs::path(folder + "/" + kGbkLocaleName + "/LC_CTYPE"), ec) &&
        GbkLocaleLoads(folder)) {
      result.found = true;
      result.locpath = folder;
      return result;
    }
  }
  const std::string& cache = folders.back();
  *notes += std::string("hhc: generating the ") + kGbkLocaleName + " locale in " + cache + "\n";
  if (GenerateGbkLocale(cache) && GbkLocaleLoads(cache)) {
    result.found = true;
    result.locpath = cache;
    return result;
  }
  *notes += std::string("hhc: warning: no ") + kGbkLocaleName +
            " locale (tried the system, " + folders.front() + ", " + cache +
            "); Chinese index keywords will come out as '?'\n";
  return result;
}

}  // namespace inkbinder::hhc
