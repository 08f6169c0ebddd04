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

// An inheritable copy of our standard error, when there is one (the console
// program has it; the window program does not).
HANDLE InheritableStandardError() {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), error, GetCurrentProcess(), &copy, 0, TRUE,
                       DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

}  // namespace

struct Process::Impl {
  HANDLE process = nullptr;
  bool ended = false;
  int exit_code = -1;

  void RecordEnd() {
    ended = true;
    DWORD code = 0;
    if (GetExitCodeProcess(process, &code)) exit_code = static_cast<int>(code);
  }
};

Process::Process(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Process::~Process() { CloseHandle(impl_->process); }

std::unique_ptr<Process> Process::Start(const std::string& program,
                                        const std::vector<std::string>& args,
                                        std::string* error) {
  // The program speaks the ANSI API: the system code page on the command line.
  const std::string application = Utf8ToCodePage(program, kSystemAnsi);
  std::string command_line = Utf8ToCodePage(BuildCommandLine(program, args), kSystemAnsi);

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  const HANDLE error_copy = InheritableStandardError();
  if (error_copy != nullptr) {
    // The compiler's messages go to our standard error, its output included.
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = error_copy;
    startup.hStdError = error_copy;
  }

  PROCESS_INFORMATION info = {};
  const BOOL started =
      CreateProcessA(application.c_str(), command_line.data(), nullptr, nullptr,
                     error_copy != nullptr, 0, nullptr, nullptr, &startup, &info);
  const DWORD start_error = GetLastError();
  if (error_copy != nullptr) CloseHandle(error_copy);
  if (!started) {
    *error = SystemErrorText(start_error);
    // Some texts name the program as "%1" ("%1 is not a valid Win32 application").
    const size_t insert = error->find("%1");
    if (insert != std::string::npos) error->replace(insert, 2, program);
    return nullptr;
  }
  CloseHandle(info.hThread);
  auto impl = std::make_unique<Impl>();
  impl->process = info.hProcess;
  return std::unique_ptr<Process>(new Process(std::move(impl)));
}

bool Process::HasEnded() {
  if (!impl_->ended && WaitForSingleObject(impl_->process, 0) == WAIT_OBJECT_0) {
    impl_->RecordEnd();
  }
  return impl_->ended;
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

int Process::ExitCode() const { return impl_->exit_code; }

std::intptr_t Process::NativeHandle() const {
  return reinterpret_cast<std::intptr_t>(impl_->process);
}

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
