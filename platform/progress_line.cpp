#include <algorithm>
#include <string>

#include "platform/console.h"

namespace inkbinder {

namespace {

// Wider than any line Show writes (Chinese characters take two columns).
constexpr int kLineColumns = 48;

}  // namespace

void ProgressLine::Show(std::uint64_t done, std::uint64_t total) {
  if (!shown_) return;
  if (total == 0) {
    Clear();
    return;
  }
  const int percent = static_cast<int>(100 * std::min(done, total) / total);
  if (percent == percent_ && on_screen_) return;
  percent_ = percent;
  on_screen_ = true;
  PrintText(stream_, "\r页面 / pages " + std::to_string(done) + "/" + std::to_string(total) + " " +
                         std::to_string(percent) + "%");
}

void ProgressLine::Clear() {
  if (!on_screen_) return;
  on_screen_ = false;
  percent_ = -1;
  PrintText(stream_, "\r" + std::string(kLineColumns, ' ') + "\r");
}

}  // namespace inkbinder
