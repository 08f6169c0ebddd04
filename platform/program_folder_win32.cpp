#include <windows.h>

#include <vector>

#include "platform/files.h"
#include "platform/program_folder.h"
#include "platform/wide_text_win32.h"

namespace inkbinder {

namespace {

constexpr char kCompilerName[] = "hhc.exe";
constexpr char kWorkshopFolder[] = "HTML Help Workshop";

std::string WithoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

// The help workshop's installer records its folder here.
std::string WorkshopInstallFolder() {
  const wchar_t* key = L"Software\\Microsoft\\HTML Help Workshop";
  const wchar_t* value = L"InstallDir";
  const DWORD types = RRF_RT_REG_SZ;  // REG_EXPAND_SZ too, expanded
  DWORD bytes = 0;
  const LSTATUS size =
      RegGetValueW(HKEY_CURRENT_USER, key, value, types, nullptr, nullptr, &bytes);
  if (size != ERROR_SUCCESS || bytes < sizeof(wchar_t)) {
    return std::string();
  }
  std::wstring text(bytes / sizeof(wchar_t), L'\0');
  if (RegGetValueW(HKEY_CURRENT_USER, key, value, types, nullptr, text.data(), &bytes) !=
      ERROR_SUCCESS) {
    return std::string();
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return WithoutTrailingSeparator(WideToUtf8(text));
}

std::string EnvironmentFolder(const wchar_t* name) {
  const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return std::string();
  std::wstring text(n, L'\0');
  const DWORD got = GetEnvironmentVariableW(name, text.data(), n);
  if (got == 0 || got >= n) return std::string();
  text.resize(got);
  return WithoutTrailingSeparator(WideToUtf8(text));
}

}  // namespace

std::string ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return ".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);  // truncated: try a bigger buffer
  }
  const std::string exe = WideToUtf8(path);
  const std::string folder = FolderOf(exe);
  return folder.empty() ? "." : folder;
}

std::vector<std::string> HelpCompilerPlaces(const std::string& program_folder) {
  std::vector<std::string> places{program_folder + "\\" + kCompilerName};
  if (const std::string dir = WorkshopInstallFolder(); !dir.empty()) {
    places.push_back(dir + "\\" + kCompilerName);
  }
  for (const wchar_t* variable : {L"ProgramFiles(x86)", L"ProgramFiles"}) {
    if (const std::string dir = EnvironmentFolder(variable); !dir.empty()) {
      places.push_back(dir + "\\" + kWorkshopFolder + "\\" + kCompilerName);
    }
  }
  return places;
}

const bool kBuiltinCompilerStandsIn = true;

}  // namespace inkbinder
