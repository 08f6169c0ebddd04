#include "project/page_entry.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string_view>
#include <thread>

#include "platform/run_on_threads.h"
#include "platform/text.h"
#include "project/page_title.h"
#include "project/sitemap_title.h"
#include "project/templates.h"

namespace inkbinder {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) {
  return IsAsciiDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// True when the text at `amp` (an '&') is a whole character reference:
// &name; &#123; or &#x1F;.
bool StartsReference(const std::string& text, size_t amp) {
  size_t i = amp + 1;
  bool (*body)(char) = nullptr;
  if (i < text.size() && IsAsciiLetter(text[i])) {
    body = [](char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); };
  } else if (i < text.size() && text[i] == '#') {
    ++i;
    const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex) ++i;
    body = hex ? IsHexDigit : IsAsciiDigit;
    if (i >= text.size() || !body(text[i])) return false;
  } else {
    return false;
  }
  while (i < text.size() && body(text[i])) ++i;
  return i < text.size() && text[i] == ';';
}

// `text` as HTML attribute text; an '&' that starts a character reference
// stays as it is when `keep_references`.
std::string EscapeMarkup(const std::string& text, bool keep_references) {
  // Most names hold none of them: a copy.
  if (std::none_of(text.begin(), text.end(), [](char c) { return c == '"' || c == '<' || c == '>' || c == '&'; })) {
    return text;
  }
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    switch (text[i]) {
      case '"': out += "&quot;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += keep_references && StartsReference(text, i) ? "&" : "&amp;"; break;
      default: out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string EscapeSitemapName(const std::string& name) { return EscapeMarkup(name, true); }

std::string EscapeSitemapText(const std::string& text) { return EscapeMarkup(text, false); }

namespace {

void AppendEscapedLocal(std::string* out, const std::string& file) {
  size_t from = 0;  // the start of the bytes not written yet
  for (size_t at = 0; at < file.size(); ++at) {
    const char c = file[at];
    if (c != '&' && c != '%' && c != '#') continue;
    out->append(file, from, at - from);
    *out += c == '&' ? "&amp;" : c == '%' ? "%25" : "%23";
    from = at + 1;
  }
  out->append(file, from, file.size() - from);
}

}  // namespace

std::string EscapeSitemapLocal(const std::string& file) {
  std::string out;
  out.reserve(file.size());
  AppendEscapedLocal(&out, file);
  return out;
}

std::string PageName(const std::string& folder, const std::string& file,
                     const std::function<bool()>& stop) {
  if (stop && stop()) return EscapeSitemapText(file);
  const std::optional<std::string> title = ReadPageTitle(folder + "/" + file, stop);
  if (!title || title->empty()) return EscapeSitemapText(file);
  return EscapeSitemapName(TitleForSitemap(*title, kSystemAnsi, kTitleByteLimit));
}

namespace {

// Reading titles is opening and reading files and converting text, bound by
// the cores once there are thousands of pages: readers of their own take
// blocks of pages in turn. Fewer pages than a block are read on the caller's
// thread alone.
constexpr std::size_t kPagesPerTake = 256;
constexpr unsigned kMostTitleReaders = 4;

}  // namespace

std::vector<std::string> ReadPageNames(const std::string& folder,
                                       const std::vector<std::string>& pages,
                                       const std::function<bool()>& stop, unsigned readers) {
  std::vector<std::string> names(pages.size());
  const std::size_t takes = (pages.size() + kPagesPerTake - 1) / kPagesPerTake;
  if (readers == 0) readers = std::min(std::max(1u, std::thread::hardware_concurrency()), kMostTitleReaders);
  readers = static_cast<unsigned>(std::min<std::size_t>(readers, std::max<std::size_t>(takes, 1)));
  // The caller's stop is asked by one reader at a time; once it says stop,
  // every reader stops.
  std::mutex stop_mutex;
  std::atomic<bool> stopped{false};
  std::function<bool()> shared_stop;
  if (stop) {
    shared_stop = [&] {
      if (stopped.load()) return true;
      // A reader that finds another asking goes on: waiting would cost a system call.
      const std::unique_lock<std::mutex> lock(stop_mutex, std::try_to_lock);
      if (lock.owns_lock() && !stopped.load() && stop()) stopped = true;
      return stopped.load();
    };
  }
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t begin; (begin = next.fetch_add(kPagesPerTake)) < pages.size();) {
      const std::size_t end = std::min(pages.size(), begin + kPagesPerTake);
      for (std::size_t i = begin; i < end; ++i) names[i] = PageName(folder, pages[i], shared_stop);
    }
  };
  RunOnThreads(
      readers, [&](unsigned) { work(); }, [&] { next = pages.size(); });
  return names;
}

std::string PageEntriesText(const std::vector<std::string>& pages,
                            const std::vector<std::string>& names) {
  const std::string& item = LoadTemplate(10);
  const std::string& name_start = LoadTemplate(15);
  const std::string& value_end = LoadTemplate(16);
  const std::string& local_start = LoadTemplate(18);
  const std::string& item_end = LoadTemplate(12);
  constexpr std::string_view kLineEnd = "\r\n";
  // One string grown once: 100,000 pages are 14 MB of entries.
  const size_t fixed = item.size() + name_start.size() + 2 * value_end.size() + local_start.size() +
                       item_end.size() + 4 * kLineEnd.size();
  size_t total = 0;
  for (size_t p = 0; p < pages.size(); ++p) total += fixed + names.at(p).size() + pages[p].size();
  std::string text;
  text.reserve(total + total / 16);  // room for escapes in the file names
  for (size_t p = 0; p < pages.size(); ++p) {
    ((text += item) += kLineEnd) += name_start;
    ((text += names[p]) += value_end) += kLineEnd;
    text += local_start;
    AppendEscapedLocal(&text, pages[p]);
    ((text += value_end) += kLineEnd) += item_end;
    text += kLineEnd;
  }
  return text;
}

EncodedPageEntries EncodePageEntries(const std::vector<std::string>& pages,
                                     const std::vector<std::string>& names) {
  return {Utf8ToCodePage(PageEntriesText(pages, names), kSystemAnsi)};
}

}  // namespace inkbinder
