#include <windows.h>

#include "platform/process.h"
#include "platform/text.h"
#include "platform/wide_text_win32.h"

namespace inkbinder {

namespace {

std::string SystemErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = n > 0 ? WideToUtf8(std::wstring_view(text, n)) : std::string();
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(code) : message;
}

HANDLE InheritableCopy(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                       DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

// Captured output waits in a temporary file that goes with its last handle,
// rather than in a pipe: the child never blocks on a full pipe, and nothing
// has to read while we wait.
HANDLE UnnamedFile() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t path[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"ink", 0, path) == 0) {
    return nullptr;
  }
  const HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DeleteFileW(path);
    return nullptr;
  }
  return file;
}

std::string ReadAllFrom(HANDLE file) {
  std::string bytes;
  LARGE_INTEGER start = {};
  if (file == nullptr || !SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Our environment with `changes` over it, as a block for CreateProcessW;
// names match without regard to case, as Windows has them.
std::wstring ChildEnvironment(const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::pair<std::wstring, std::wstring>> wide_changes;
  for (const auto& [name, value] : changes) {
    wide_changes.emplace_back(Utf8ToWide(name), Utf8ToWide(value));
  }
  std::wstring block;
  wchar_t* ours = GetEnvironmentStringsW();
  for (const wchar_t* line = ours; line != nullptr && *line != L'\0'; line += wcslen(line) + 1) {
    const std::wstring_view text(line);
    // "=C:=C:\..." lines keep the drives' folders: their names start after the first '='.
    const size_t equals = text.find(L'=', 1);
    const std::wstring_view name = text.substr(0, equals);
    bool replaced = false;
    for (const auto& change : wide_changes) replaced = replaced || SameName(name, change.first);
    if (!replaced) block.append(text).push_back(L'\0');
  }
  if (ours != nullptr) FreeEnvironmentStringsW(ours);
  for (const auto& [name, value] : wide_changes) block.append(name + L"=" + value).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

}  // namespace

struct Process::Impl {
  HANDLE process = nullptr;
  DWORD id = 0;
  bool ended = false;
  int exit_code = -1;
  HANDLE output_file = nullptr;
  HANDLE errors_file = nullptr;
  std::string output;
  std::string errors;

  ~Impl() {
    if (output_file != nullptr) CloseHandle(output_file);
    if (errors_file != nullptr) CloseHandle(errors_file);
  }

  void RecordEnd() {
    ended = true;
    DWORD code = 0;
    if (GetExitCodeProcess(process, &code)) exit_code = static_cast<int>(code);
    output = ReadAllFrom(output_file);
    errors = ReadAllFrom(errors_file);
  }
};

Process::Process(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Process::~Process() { CloseHandle(impl_->process); }

std::unique_ptr<Process> Process::Start(const std::string& program,
                                        const std::vector<std::string>& args,
                                        std::string* error) {
  return Start(program, args, ProcessOptions{}, error);
}

namespace {

// Why `program` could not start. Some texts name the program as "%1"
// ("%1 is not a valid Win32 application").
std::string StartErrorText(DWORD start_error, const std::string& program) {
  std::string text = SystemErrorText(start_error);
  const size_t insert = text.find("%1");
  if (insert != std::string::npos) text.replace(insert, 2, program);
  return text;
}

}  // namespace

std::unique_ptr<Process> Process::Start(const std::string& program,
                                        const std::vector<std::string>& args,
                                        const ProcessOptions& options, std::string* error) {
  // The wide command line: an ANSI child reads it back in the system code
  // page, a wide one (inkbinder-cli) whole.
  const std::wstring application = Utf8ToWide(program);
  std::wstring command_line = Utf8ToWide(BuildCommandLine(program, args));
  const std::wstring folder = Utf8ToWide(options.working_folder);
  std::wstring environment;
  if (!options.environment.empty()) environment = ChildEnvironment(options.environment);

  auto impl = std::make_unique<Impl>();
  if (options.capture_output) impl->output_file = UnnamedFile();
  if (options.capture_errors) impl->errors_file = UnnamedFile();
  if ((options.capture_output && impl->output_file == nullptr) ||
      (options.capture_errors && impl->errors_file == nullptr)) {
    *error = "no file to keep the output in: " + SystemErrorText(GetLastError());
    return nullptr;
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (!options.show_window) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  // Our standard error, when there is one (the console program has it; the
  // window program does not), takes whatever is not captured.
  const HANDLE our_error = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
  const HANDLE output_copy = InheritableCopy(impl->output_file);
  const HANDLE errors_copy = InheritableCopy(impl->errors_file);
  const HANDLE output = output_copy != nullptr ? output_copy : our_error;
  const HANDLE errors = errors_copy != nullptr ? errors_copy : our_error;
  const bool handles = output != nullptr || errors != nullptr;
  if (handles) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output;
    startup.hStdError = errors;
  }

  PROCESS_INFORMATION info = {};
  const BOOL started = CreateProcessW(
      application.c_str(), command_line.data(), nullptr, nullptr, handles,
      environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT,
      environment.empty() ? nullptr : environment.data(), folder.empty() ? nullptr : folder.c_str(),
      &startup, &info);
  const DWORD start_error = GetLastError();
  for (HANDLE h : {our_error, output_copy, errors_copy}) {
    if (h != nullptr) CloseHandle(h);
  }
  if (!started) {
    *error = StartErrorText(start_error, program);
    return nullptr;
  }
  CloseHandle(info.hThread);
  impl->process = info.hProcess;
  impl->id = info.dwProcessId;
  return std::unique_ptr<Process>(new Process(std::move(impl)));
}

bool Process::HasEnded() {
  return WaitFor(0);
}

int Process::Wait() {
  if (!impl_->ended) {
    if (WaitForSingleObject(impl_->process, INFINITE) == WAIT_OBJECT_0) {
      impl_->RecordEnd();
    } else {
      impl_->ended = true;  // the handle cannot be waited on: nothing to wait for
    }
  }
  return impl_->exit_code;
}

bool Process::WaitFor(int milliseconds) {
  if (!impl_->ended &&
      WaitForSingleObject(impl_->process, static_cast<DWORD>(milliseconds < 0 ? 0 : milliseconds)) ==
          WAIT_OBJECT_0) {
    impl_->RecordEnd();
  }
  return impl_->ended;
}

void Process::Stop(StopSignal, bool) {
  if (!impl_->ended) TerminateProcess(impl_->process, kKilledExitCode);
}

int Process::ExitCode() const { return impl_->exit_code; }

const std::string& Process::Output() const { return impl_->output; }

const std::string& Process::Errors() const { return impl_->errors; }

std::intptr_t Process::NativeHandle() const {
  return reinterpret_cast<std::intptr_t>(impl_->process);
}

long Process::Id() const { return static_cast<long>(impl_->id); }

}  // namespace inkbinder

namespace inkbinder {

long CurrentProcessId() { return static_cast<long>(GetCurrentProcessId()); }

bool ProcessIsRunning(long pid) {
  if (pid <= 0) return false;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

}  // namespace inkbinder
