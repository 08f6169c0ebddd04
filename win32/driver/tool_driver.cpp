#include "win32/driver/tool_driver.h"

#include <shlobj.h>

#include "resources/win32/resource.h"

#include <chrono>
#include <thread>

namespace inkbinder::driver {

namespace {

constexpr UINT kSendTimeoutMs = 5000;

struct Search {
  DWORD pid;
  std::function<bool(HWND)> accept;
  HWND found = nullptr;
};

BOOL CALLBACK VisitTopLevel(HWND hwnd, LPARAM lparam) {
  auto* search = reinterpret_cast<Search*>(lparam);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != search->pid || !IsWindowVisible(hwnd) || !search->accept(hwnd)) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND FindTopLevel(DWORD pid, const std::function<bool(HWND)>& accept) {
  Search search{pid, accept};
  EnumWindows(VisitTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring ClassName(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

std::wstring WindowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &length)) {
    return L"";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_NORMAL, kSendTimeoutMs, &copied);
  text.resize(copied);
  return text;
}

// Under Wine, the DOS path of a Linux path; "" elsewhere.
std::wstring WineDosPath(const char* unix_path) {
  using Fn = WCHAR*(CDECL*)(const char*);
  static const Fn to_dos = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (to_dos == nullptr) return L"";
  WCHAR* dos = to_dos(unix_path);
  if (dos == nullptr) return L"";
  std::wstring path = dos;
  HeapFree(GetProcessHeap(), 0, dos);
  return path;
}

std::string ReadWholeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

// The Linux process under `proc` whose command line holds `marker`; "" when none.
std::wstring FindLinuxProcess(const std::wstring& proc, const std::string& marker) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((proc + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return L"";
  std::wstring found;
  do {
    const std::wstring name = entry.cFileName;
    if (name.empty() || name.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
    std::string command_line = ReadWholeFile(proc + L"\\" + name + L"\\cmdline");
    for (char& c : command_line) {
      if (c == '\0') c = ' ';
    }
    if (command_line.find(marker) != std::string::npos) found = proc + L"\\" + name;
  } while (found.empty() && FindNextFileW(find, &entry));
  FindClose(find);
  return found;
}

// User plus system time from a Linux /proc/<pid>/stat, in seconds; -1 when unreadable.
double LinuxCpuSeconds(const std::wstring& process_folder) {
  const std::string stat = ReadWholeFile(process_folder + L"\\stat");
  const size_t name_end = stat.rfind(')');
  if (name_end == std::string::npos) return -1;
  std::vector<std::string> fields;  // from field 3 (state) on
  size_t at = name_end + 1;
  while (at < stat.size()) {
    const size_t start = stat.find_first_not_of(' ', at);
    if (start == std::string::npos) break;
    const size_t end = stat.find(' ', start);
    fields.push_back(stat.substr(start, end == std::string::npos ? std::string::npos : end - start));
    at = end == std::string::npos ? stat.size() : end;
  }
  if (fields.size() < 13) return -1;
  constexpr double kTicksPerSecond = 100;  // USER_HZ on Linux
  return (std::stod(fields[11]) + std::stod(fields[12])) / kTicksPerSecond;
}

}  // namespace

std::string HostPath(const std::string& linux_path) {
  const std::wstring dos = WineDosPath(linux_path.c_str());
  return dos.empty() ? linux_path : Utf8(dos);
}

bool WaitUntil(const std::function<bool()>& condition, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

ToolUnderTest::ToolUnderTest(const std::string& exe) {
  std::wstring path = Wide(exe);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  ProcessOptions options;
  options.working_folder = Utf8(folder);
  options.show_window = true;
  std::string error;
  process_ = Process::Start(Utf8(path), {}, options, &error);
  if (process_ == nullptr) return;
  // The folder and program name, as the program's Linux command line shows them under Wine.
  const size_t folder_name = folder.find_last_of(L'\\');
  linux_marker_ = Utf8(path.substr(folder_name == std::wstring::npos ? 0 : folder_name + 1));
  WaitUntil(
      [&] {
        window_ = FindTopLevel(pid(), [](HWND hwnd) { return WindowText(hwnd) == L"Inkbinder"; });
        return window_ != nullptr;
      },
      20000);
}

ToolUnderTest::~ToolUnderTest() {
  if (process_ == nullptr) return;
  process_->Stop();
  process_->WaitFor(5000);
}

std::string ToolUnderTest::Text(HWND hwnd) const { return Utf8(WindowText(hwnd)); }

void ToolUnderTest::SetText(int id, const std::string& text) {
  const std::wstring wide = Wide(text);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_NORMAL,
                      kSendTimeoutMs, &result);
}

void ToolUnderTest::Click(int id) { PostMessageW(Item(id), BM_CLICK, 0, 0); }

std::vector<std::string> ToolUnderTest::ListEntries() const {
  HWND list = Item(IDC_FILE1);
  std::vector<std::string> entries;
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &count)) {
    return entries;
  }
  for (DWORD_PTR i = 0; i < count; ++i) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_NORMAL, kSendTimeoutMs, &length);
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                        kSendTimeoutMs, &copied);
    text.resize(copied);
    entries.push_back(Utf8(text));
  }
  return entries;
}

HWND ToolUnderTest::Focus() const {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  // The window's thread is the program's one thread with windows.
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

void ToolUnderTest::PressKey(int id, WPARAM key) {
  HWND control = Item(id);
  const UINT scan = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
  const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
  const LPARAM up = down | (1L << 30) | (1L << 31);
  PostMessageW(control, WM_KEYDOWN, key, down);
  PostMessageW(control, WM_CHAR, key, down);
  PostMessageW(control, WM_KEYUP, key, up);
}

HWND ToolUnderTest::FindMessageBox() const {
  HWND owner = window_;
  return FindTopLevel(pid(), [owner](HWND hwnd) {
    return ClassName(hwnd) == L"#32770" && GetWindow(hwnd, GW_OWNER) == owner;
  });
}

HWND ToolUnderTest::FindPicker() const {
  return FindTopLevel(pid(), [](HWND hwnd) {
    return ClassName(hwnd) == L"#32770" && GetWindow(hwnd, GW_OWNER) == nullptr;
  });
}

HWND ToolUnderTest::WaitForMessageBox(int timeout_ms) const {
  HWND box = nullptr;
  WaitUntil([&] { return (box = FindMessageBox()) != nullptr; }, timeout_ms);
  return box;
}

HWND ToolUnderTest::WaitForPicker(int timeout_ms) const {
  HWND picker = nullptr;
  WaitUntil([&] { return (picker = FindPicker()) != nullptr; }, timeout_ms);
  return picker;
}

std::string ToolUnderTest::MessageText(HWND box) const {
  struct Found {
    std::wstring text;
  } found;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM lparam) -> BOOL {
        auto* f = reinterpret_cast<Found*>(lparam);
        if (ClassName(child) != L"Static") return TRUE;
        f->text = WindowText(child);
        return f->text.empty();
      },
      reinterpret_cast<LPARAM>(&found));
  return Utf8(found.text);
}

void ToolUnderTest::PressOk(HWND dialog) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

void ToolUnderTest::PressCancel(HWND dialog) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
}

bool ToolUnderTest::PickFolder(HWND picker, const std::string& folder) {
  std::wstring path = Wide(folder);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  // The path travels by address: it has to live in the program's memory.
  const SIZE_T bytes = (path.size() + 1) * sizeof(wchar_t);
  void* remote = VirtualAllocEx(handle(), nullptr, bytes, MEM_COMMIT | MEM_RESERVE,
                                PAGE_READWRITE);
  if (remote == nullptr) return false;
  const bool written =
      WriteProcessMemory(handle(), remote, path.c_str(), bytes, nullptr) != 0;
  if (written) {
    // Twice: the first can leave the tree's root selected while it expands.
    for (int i = 0; i < 2; ++i) {
      DWORD_PTR result = 0;
      SendMessageTimeoutW(picker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(remote),
                          SMTO_NORMAL, kSendTimeoutMs, &result);
    }
  }
  VirtualFreeEx(handle(), remote, 0, MEM_RELEASE);
  if (written) PressOk(picker);
  return written;
}

bool ToolUnderTest::Running() const {
  return process_ != nullptr && WaitForSingleObject(handle(), 0) == WAIT_TIMEOUT;
}

bool ToolUnderTest::WaitForExit(int timeout_ms) const {
  return process_ != nullptr &&
         WaitForSingleObject(handle(), static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0;
}

double ToolUnderTest::CpuSeconds() const {
  // Wine's GetProcessTimes leaves out the running threads of another process
  // (a spinning program reads as idle), so under Wine ask Linux.
  const std::wstring proc = WineDosPath("/proc");
  if (!proc.empty()) {
    if (linux_process_.empty()) linux_process_ = FindLinuxProcess(proc, linux_marker_);
    return linux_process_.empty() ? -1 : LinuxCpuSeconds(linux_process_);
  }
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(handle(), &created, &ended, &kernel, &user)) return -1;
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

int ToolUnderTest::ResponseMs() const {
  const auto start = std::chrono::steady_clock::now();
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &result)) return -1;
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count());
}

}  // namespace inkbinder::driver
