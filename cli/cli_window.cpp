#include "cli/cli_window.h"

#include <cstdio>

#include "platform/console.h"
#include "platform/process.h"

namespace inkbinder {

CliWindow::CliWindow(std::string folder, std::vector<std::string> pages, std::string title)
    : folder_(std::move(folder)), pages_(std::move(pages)), title_(std::move(title)) {}

void CliWindow::ShowMessage(const std::string& text, const std::string&) {
  PrintText(stderr, text + "\n");
}

int CliWindow::WaitForProcess(Process& process) { return process.Wait(); }

}  // namespace inkbinder
