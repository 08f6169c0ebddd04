// hhc.exe for tests under Wine, never shipped: compiles for real by handing
// the project to the Linux hhc, and answers as hhc.exe does
// (exit code 1 on success, 0 on failure).
//
//   INKBINDER_LINUX_HHC        the Linux hhc's Unix path (required)
//   INKBINDER_TEST_HHC_SLEEP   seconds to wait before compiling (a slow compile)
//   INKBINDER_TEST_HHC_TIMEOUT seconds to wait for the Linux hhc (default 600)
//
// Wine starts a Unix program but gives no handle to wait on, so it runs in a
// small shell script that writes the Linux hhc's exit code to a file once it
// is done; this program polls for that file.
#include <windows.h>

#include <shellapi.h>

#include "platform/process.h"
#include "platform/wide_text_win32.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using UnixFileName = char*(CDECL*)(const wchar_t*);
using DosFileName = wchar_t*(CDECL*)(const char*);

// Null outside Wine.
template <typename Function>
Function WineExport(const char* name) {
  const FARPROC address = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD n = GetEnvironmentVariableW(name, value, 32768);
  return n > 0 && n < 32768 ? std::wstring(value, n) : std::wstring();
}

void Say(const std::string& text) {
  std::fputs(("test hhc.exe: " + text + "\n").c_str(), stdout);
  std::fflush(stdout);
}

// For the shell: in single quotes, each ' written as '\''.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool WriteWhole(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::string ReadWhole(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

// The Unix path for a Windows path, through Wine's own kernel32 export.
std::string UnixPath(UnixFileName convert, const std::wstring& path) {
  char* unix_path = convert(path.c_str());
  if (unix_path == nullptr) return std::string();
  std::string out = unix_path;
  HeapFree(GetProcessHeap(), 0, unix_path);
  return out;
}

// Starts /bin/sh on the script; Wine gives no handle to wait on.
bool StartShell(DosFileName to_dos, const std::string& unix_script) {
  wchar_t* shell = to_dos("/bin/sh");
  if (shell == nullptr) return false;
  const std::string program = inkbinder::WideToUtf8(shell);
  HeapFree(GetProcessHeap(), 0, shell);
  // Wine hands a Unix program its arguments as they are: the script's Unix path.
  std::string error;
  return inkbinder::Process::Start(program, {unix_script}, &error) != nullptr;
}

bool WaitForFile(const std::wstring& path, double seconds) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (;;) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(50);
  }
}

// Runs the Linux hhc on the project in a work folder; its exit code, or -1.
int RunLinuxHhc(UnixFileName to_unix, DosFileName to_dos, const std::string& linux_hhc,
               const std::string& unix_project, const std::wstring& work) {
  const std::string unix_work = UnixPath(to_unix, work);
  if (unix_work.empty()) return -1;
  const std::string output = Quoted(unix_work + "/output");
  const std::string part = Quoted(unix_work + "/status.part");
  // The script lets go of the streams it was started with: a Linux hhc still
  // running after a time-out must not hold a caller's pipe open.
  const std::string script = "exec </dev/null >/dev/null 2>&1\n" + Quoted(linux_hhc) + " " +
                             Quoted(unix_project) + " >" + output + " 2>&1\n" +
                             "echo $? >" + part + "\n" +
                             "mv " + part + " " + Quoted(unix_work + "/status") + "\n";
  if (!WriteWhole(work + L"\\run.sh", script) || !StartShell(to_dos, unix_work + "/run.sh")) {
    Say("cannot start /bin/sh");
    return -1;
  }
  const std::wstring timeout = Environment(L"INKBINDER_TEST_HHC_TIMEOUT");
  const double seconds = timeout.empty() ? 600 : std::wcstod(timeout.c_str(), nullptr);
  const bool finished = WaitForFile(work + L"\\status", seconds);
  const std::string messages = ReadWhole(work + L"\\output");
  std::fwrite(messages.data(), 1, messages.size(), stdout);
  std::fflush(stdout);
  if (!finished) {
    Say("the Linux hhc did not finish in time");
    return -1;
  }
  return std::atoi(ReadWhole(work + L"\\status").c_str());
}

int Compile(const std::wstring& project) {
  const auto to_unix = WineExport<UnixFileName>("wine_get_unix_file_name");
  const auto to_dos = WineExport<DosFileName>("wine_get_dos_file_name");
  if (to_unix == nullptr || to_dos == nullptr) {
    Say("runs only under Wine");
    return 0;
  }
  const std::string linux_hhc = inkbinder::WideToUtf8(Environment(L"INKBINDER_LINUX_HHC"));
  if (linux_hhc.empty()) {
    Say("INKBINDER_LINUX_HHC does not name the Linux hhc");
    return 0;
  }
  const std::string unix_project = UnixPath(to_unix, project);
  if (unix_project.empty()) {
    Say("no Unix path for the project " + inkbinder::WideToUtf8(project));
    return 0;
  }
  if (const std::wstring sleep = Environment(L"INKBINDER_TEST_HHC_SLEEP"); !sleep.empty()) {
    Sleep(static_cast<DWORD>(std::wcstod(sleep.c_str(), nullptr) * 1000));
  }

  wchar_t temp[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, temp) == 0) return 0;
  const std::wstring work = std::wstring(temp) + L"inkbinder-test-hhc-" +
                            std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(GetTickCount64());
  if (!CreateDirectoryW(work.c_str(), nullptr)) {
    Say("cannot make a work folder");
    return 0;
  }
  const int linux_exit = RunLinuxHhc(to_unix, to_dos, linux_hhc, unix_project, work);
  for (const wchar_t* name : {L"run.sh", L"output", L"status", L"status.part"}) {
    DeleteFileW((work + L"\\" + name).c_str());
  }
  RemoveDirectoryW(work.c_str());
  return linux_exit == 1 ? 1 : 0;  // the Linux hhc answers as hhc.exe does
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr || count != 2) {
    Say("usage: hhc.exe PROJECT.hhp");
    return 0;
  }
  const std::wstring project = args[1];
  LocalFree(args);
  return Compile(project);
}
