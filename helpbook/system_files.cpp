#include "helpbook/system_files.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "helpbook/little_endian.h"
#include "platform/files.h"
#include "platform/text.h"
#include "resources/version.h"

namespace helpbook {

namespace {

// String tables are read by readers in 4096-byte blocks (one block per
// lookup), so no string may cross a block border and none may be longer.
constexpr std::size_t kBlockSize = 4096;

// #IDXHDR, also #SYSTEM's record 13: a fixed 4096 bytes.
constexpr std::size_t kIndexHeaderSize = 4096;

// The window struct as readers take it from #WINDOWS: its size and the
// offsets of the fields we fill.
constexpr std::uint32_t kWindowSize = 0xC4;

// The fields of a [WINDOWS] line, in their order: nine texts, then numbers
// and the position.
enum WindowLinePosition : std::size_t {
  kLineCaption,
  kLineContentsFile,
  kLineIndexFile,
  kLineDefaultFile,
  kLineHomeFile,
  kLineJump1Url,
  kLineJump1Text,
  kLineJump2Url,
  kLineJump2Text,
  kLineNavigationStyle,
  kLineNavigationWidth,
  kLineButtons,
  kLinePosition,
  kLineWindowStyle,
  kLineExtendedStyle,
  kLineShowState,
  kLineNavigationClosed,
  kLineDefaultPane,
  kLinePanePosition,
  kLineNotifyId,
  kLineFieldCount,
};

// Which fields of the window struct are given (readers' "valid members" bits).
enum WindowField : std::uint32_t {
  kFieldProperties = 1u << 1,
  kFieldStyles = 1u << 2,
  kFieldExtendedStyles = 1u << 3,
  kFieldPosition = 1u << 4,
  kFieldNavigationWidth = 1u << 5,
  kFieldShowState = 1u << 6,
  kFieldButtons = 1u << 8,
  kFieldExpansion = 1u << 9,
  kFieldPanePosition = 1u << 10,
  kFieldCurrentPane = 1u << 13,
};

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// At most `limit` bytes of code page 936 text, never half a character.
std::string_view CutText(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t step = IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (i + step > limit) break;
    i += step;
  }
  return text.substr(0, i);
}

// Texts stored once each, NUL-terminated, behind a leading NUL (offset 0 means
// "none"). A record that would cross a block border starts the next block.
class BlockTable {
 public:
  BlockTable() : bytes_(1, '\0') {}

  // Makes room for a record of `size` bytes and returns its offset.
  std::uint32_t Reserve(std::size_t size) {
    const std::size_t used = bytes_.size() % kBlockSize;
    if (size <= kBlockSize && used + size > kBlockSize) bytes_.append(kBlockSize - used, '\0');
    return static_cast<std::uint32_t>(bytes_.size());
  }
  std::string& bytes() { return bytes_; }

 private:
  std::string bytes_;
};

// Texts added must outlive the table: it looks them up where they are.
class StringTable {
 public:
  std::uint32_t Add(std::string_view text) {
    if (text.empty()) return 0;
    const std::string_view key = CutText(text, kBlockSize - 1);
    const auto found = offsets_.find(key);
    if (found != offsets_.end()) return found->second;
    const std::uint32_t offset = table_.Reserve(key.size() + 1);
    table_.bytes() += key;
    table_.bytes().push_back('\0');
    offsets_.emplace(key, offset);
    return offset;
  }
  std::string Bytes() { return table_.bytes(); }

 private:
  BlockTable table_;
  std::unordered_map<std::string_view, std::uint32_t> offsets_;  // a lookup for each of 100,000 titles
};

using inkbinder::TrimBlanks;

// A decimal or 0x-prefixed hexadecimal number, possibly negative.
bool ParseNumber(std::string_view text, std::uint32_t* value) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t result = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return false;
    if (digit >= base) return false;
    result = result * base + digit;
    if (result > 0xFFFFFFFFu) return false;
  }
  *value = static_cast<std::uint32_t>(negative ? 0 - result : result);
  return true;
}

// The stem of the compiled file name, lower-cased as readers expect it
// ("Book.chm" -> "book"); code page 936 characters stay as they are.
std::string CompiledFileStem(std::string_view file) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < file.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(file[i])) && i + 1 < file.size()) {
      ++i;
    } else if (file[i] == '\\' || file[i] == '/') {
      start = i + 1;
    }
  }
  std::string_view name = file.substr(start);
  if (name.size() >= 4) {
    if (inkbinder::SameIgnoringAsciiCase(name.substr(name.size() - 4), ".chm")) name.remove_suffix(4);
  }
  std::string stem;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < name.size()) {
      stem += name.substr(i, 2);
      ++i;
    } else {
      stem.push_back(inkbinder::AsciiLower(c));
    }
  }
  return stem;
}

void PutEntry(std::string* out, std::uint16_t code, std::string_view data) {
  AppendLe16(out, code);
  AppendLe16(out, static_cast<std::uint32_t>(data.size()));
  *out += data;
}

void PutTextEntry(std::string* out, std::uint16_t code, std::string_view text) {
  if (text.empty()) return;
  // The length is 16 bits; a longer text than any project holds is cut.
  std::string data(CutText(text, 0xFFFE));
  data.push_back('\0');
  PutEntry(out, code, data);
}

const WindowDefinition* FindWindow(const BookInfo& book, std::string_view name) {
  for (const WindowDefinition& w : book.windows) {
    if (w.name == name) return &w;
  }
  return nullptr;
}

// #IDXHDR: the header of the contents' properties and of merged books. The
// book merges nothing and sets none of the properties, so besides its
// signature only the compile's time, a 1 that every book carries and the
// number of topics are given.
std::string IndexHeaderFile(const BookInfo& book, std::size_t topic_count) {
  std::string out = "T#SM";
  AppendLe32(&out, UnixSeconds(book.timestamp));
  AppendLe32(&out, 1);
  AppendLe32(&out, static_cast<std::uint32_t>(topic_count));
  out.resize(kIndexHeaderSize, '\0');
  return out;
}

// The records in the order the format's description gives and other
// compilers follow: 10 9 4 2 3 16 6 0 1 5, then 13.
std::string SystemFile(const BookInfo& book, const std::string& start_page,
                       const std::string& index_header) {
  std::string out;
  AppendLe32(&out, kSystemVersion);
  std::string time;
  AppendLe32(&time, UnixSeconds(book.timestamp));
  PutEntry(&out, kRecordTime, time);
  PutTextEntry(&out, kRecordCompiler, "Inkbinder " INKBINDER_VERSION);
  // Language, no DBCS option (the project sets none), no full-text search,
  // no binary keyword or associative index, the compile's time, two unused fields.
  std::string locale;
  AppendLe32(&locale, book.language);
  AppendLe32(&locale, 0);
  AppendLe32(&locale, 0);
  AppendLe32(&locale, 0);
  AppendLe32(&locale, 0);
  AppendLe64(&locale, book.timestamp);
  AppendLe32(&locale, 0);
  AppendLe32(&locale, 0);
  PutEntry(&out, kRecordLocale, locale);
  const bool ascii_start = std::all_of(start_page.begin(), start_page.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii_start) PutTextEntry(&out, kRecordDefaultTopic, start_page);
  std::string title = book.title;
  if (title.empty()) {
    const WindowDefinition* window = FindWindow(book, book.default_window);
    if (!window && !book.windows.empty()) window = &book.windows.front();
    if (window) title = window->caption;
  }
  PutTextEntry(&out, kRecordTitle, title);
  PutTextEntry(&out, kRecordDefaultFont, book.default_font);
  // chmcmd and halibut leave record 6 out; Windows' own compiler writes it,
  // and it has its place in the documented order, so it stays.
  PutTextEntry(&out, kRecordCompiledFile, CompiledFileStem(book.compiled_file));
  PutTextEntry(&out, kRecordContentsFile, book.contents_file);
  PutTextEntry(&out, kRecordIndexFile, book.index_file);
  PutTextEntry(&out, kRecordDefaultWindow, book.default_window);
  PutEntry(&out, kRecordIndexHeader, index_header);
  if (!ascii_start && !start_page.empty()) {
    // Two Linux readers take only the file's first 4096 bytes after the
    // version, and decode a start page there as UTF-8 or Latin-1 instead of
    // the book's code page: one then opens a blank page, the other refuses
    // the whole book. Record 13 is 4096 bytes long, so a start page they
    // cannot decode follows it, beyond their reach; readers that read the
    // whole file in the book's code page still open the book on it.
    PutTextEntry(&out, kRecordDefaultTopic, start_page);
  }
  return out;
}

std::string WindowStruct(const WindowDefinition& w, StringTable* strings) {
  std::string out;
  AppendLe32(&out, kWindowSize);
  AppendLe32(&out, 0);  // texts are ANSI, not Unicode
  AppendLe32(&out, strings->Add(w.name));
  AppendLe32(&out, w.set_fields);
  AppendLe32(&out, w.navigation_style);
  AppendLe32(&out, strings->Add(w.caption));
  AppendLe32(&out, w.window_style);
  AppendLe32(&out, w.extended_style);
  for (std::int32_t edge : w.position) AppendLe32(&out, static_cast<std::uint32_t>(edge));
  AppendLe32(&out, static_cast<std::uint32_t>(w.show_state));
  for (int i = 0; i < 6; ++i) AppendLe32(&out, 0);  // window handles and info types: run time only
  AppendLe32(&out, static_cast<std::uint32_t>(w.navigation_width));
  for (int i = 0; i < 4; ++i) AppendLe32(&out, 0);  // the HTML pane's rectangle: run time only
  AppendLe32(&out, strings->Add(w.contents_file));
  AppendLe32(&out, strings->Add(w.index_file));
  AppendLe32(&out, strings->Add(w.default_file));
  AppendLe32(&out, strings->Add(w.home_file));
  AppendLe32(&out, w.buttons);
  AppendLe32(&out, static_cast<std::uint32_t>(w.navigation_closed));
  AppendLe32(&out, static_cast<std::uint32_t>(w.default_pane));
  AppendLe32(&out, static_cast<std::uint32_t>(w.pane_position));
  AppendLe32(&out, static_cast<std::uint32_t>(w.notify_id));
  out.append(20, '\0');  // tab order
  AppendLe32(&out, 0);       // history size
  AppendLe32(&out, strings->Add(w.jump1_text));
  AppendLe32(&out, strings->Add(w.jump2_text));
  AppendLe32(&out, strings->Add(w.jump1_url));
  AppendLe32(&out, strings->Add(w.jump2_url));
  for (int i = 0; i < 4; ++i) AppendLe32(&out, 0);  // minimum size
  AppendLe32(&out, 0);                              // information types
  AppendLe32(&out, 0);                              // custom tabs
  return out;
}

// Viewed where the book's description holds them: 100,000 copies of each
// were megabytes while the pages were compressed beside them.
struct Topic {
  std::string_view local;
  std::string_view title;
  bool in_contents;
};

// Every page once: the contents' pages in order, then pages only the index
// names, then the project's other files.
std::vector<Topic> CollectTopics(const BookInfo& book) {
  std::vector<Topic> topics;
  topics.reserve(book.contents.size());
  std::unordered_set<std::string_view> seen(book.contents.size() + book.index.size() + book.files.size());
  const auto add = [&](std::string_view local, std::string_view title, bool in_contents) {
    if (local.empty() || !seen.insert(local).second) return;
    topics.push_back(Topic{local, title, in_contents});
  };
  for (const SitemapEntry& e : book.contents) add(e.local, e.name, true);
  for (const SitemapEntry& e : book.index) add(e.local, e.name, false);
  for (const std::string& file : book.files) add(file, std::string_view(), false);
  return topics;
}

}  // namespace

std::uint32_t UnixSeconds(std::uint64_t filetime) {
  constexpr std::uint64_t kTicksPerSecond = 10000000;
  const std::uint64_t epoch = inkbinder::kFileTimeOf1970;
  return static_cast<std::uint32_t>(filetime > epoch ? (filetime - epoch) / kTicksPerSecond : 0);
}

namespace {

struct WindowLineField {
  std::string text;
  bool bracketed = false;
};

// Splits a window line's value into fields at the commas outside quotes and
// brackets.
bool SplitWindowFields(std::string_view rest, const std::string& name,
                       std::vector<WindowLineField>* fields, std::string* error) {
  std::size_t i = 0;
  while (true) {
    while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
    WindowLineField field;
    if (i < rest.size() && (rest[i] == '"' || rest[i] == '[')) {
      const char closing = rest[i] == '"' ? '"' : ']';
      const std::size_t close = rest.find(closing, i + 1);
      if (close == std::string_view::npos) {
        *error = "window " + name +
                 (closing == '"' ? ": a quote is not closed" : ": a '[' is not closed");
        return false;
      }
      field.text = std::string(rest.substr(i + 1, close - i - 1));
      field.bracketed = closing == ']';
      i = close + 1;
    } else {
      const std::size_t comma = rest.find(',', i);
      const std::size_t stop = comma == std::string_view::npos ? rest.size() : comma;
      field.text = std::string(TrimBlanks(rest.substr(i, stop - i)));
      i = stop;
    }
    while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
    fields->push_back(std::move(field));
    if (i >= rest.size()) return true;
    if (rest[i] != ',') {
      *error = "window " + name + ": unexpected text after field " +
               std::to_string(fields->size());
      return false;
    }
    ++i;
  }
}

// The numeric fields, each into its place with its validity bit.
bool ParseWindowNumbers(const std::vector<WindowLineField>& fields, WindowDefinition* window,
                        std::string* error) {
  struct Number {
    std::size_t field;
    std::uint32_t* value;
    std::uint32_t bit;
  };
  std::uint32_t navigation_width = 0, show_state = 0, closed = 0, pane = 0, pane_position = 0,
                notify = 0;
  const Number numbers[] = {
      {kLineNavigationStyle, &window->navigation_style, kFieldProperties},
      {kLineNavigationWidth, &navigation_width, kFieldNavigationWidth},
      {kLineButtons, &window->buttons, kFieldButtons},
      {kLineWindowStyle, &window->window_style, kFieldStyles},
      {kLineExtendedStyle, &window->extended_style, kFieldExtendedStyles},
      {kLineShowState, &show_state, kFieldShowState},
      {kLineNavigationClosed, &closed, kFieldExpansion},
      {kLineDefaultPane, &pane, kFieldCurrentPane},
      {kLinePanePosition, &pane_position, kFieldPanePosition},
      {kLineNotifyId, &notify, 0},
  };
  for (const Number& n : numbers) {
    const WindowLineField& field = fields[n.field];
    if (field.text.empty()) continue;
    if (field.bracketed || !ParseNumber(field.text, n.value)) {
      *error = "window " + window->name + ": field " + std::to_string(n.field + 1) +
               " is not a number: " + field.text;
      return false;
    }
    window->set_fields |= n.bit;
  }
  window->navigation_width = static_cast<std::int32_t>(navigation_width);
  window->show_state = static_cast<std::int32_t>(show_state);
  window->navigation_closed = static_cast<std::int32_t>(closed);
  window->default_pane = static_cast<std::int32_t>(pane);
  window->pane_position = static_cast<std::int32_t>(pane_position);
  window->notify_id = static_cast<std::int32_t>(notify);
  return true;
}

// The position field: absent, or [left,top,right,bottom].
bool ParseWindowPosition(const WindowLineField& position, WindowDefinition* window,
                         std::string* error) {
  if (position.text.empty() && !position.bracketed) return true;
  const std::string wrong =
      "window " + window->name + ": the position is not [left,top,right,bottom]";
  std::size_t start = 0;
  std::size_t edge = 0;
  while (true) {
    const std::size_t comma = position.text.find(',', start);
    const std::string_view part = TrimBlanks(std::string_view(position.text).substr(
        start, comma == std::string::npos ? std::string::npos : comma - start));
    std::uint32_t value = 0;
    if (!position.bracketed || edge >= 4 || !ParseNumber(part, &value)) {
      *error = wrong;
      return false;
    }
    window->position[edge++] = static_cast<std::int32_t>(value);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (edge != 4) {
    *error = wrong;
    return false;
  }
  window->set_fields |= kFieldPosition;
  return true;
}

}  // namespace

bool ParseWindowLine(std::string_view line, WindowDefinition* window, std::string* error) {
  *window = WindowDefinition{};
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos || TrimBlanks(line.substr(0, eq)).empty()) {
    *error = "window line without a name: " + std::string(line);
    return false;
  }
  window->name = std::string(TrimBlanks(line.substr(0, eq)));
  std::vector<WindowLineField> fields;
  if (!SplitWindowFields(line.substr(eq + 1), window->name, &fields, error)) return false;
  if (fields.size() > kLineFieldCount) {
    *error = "window " + window->name + ": more than " + std::to_string(kLineFieldCount) + " fields";
    return false;
  }
  fields.resize(kLineFieldCount);

  // In line order, from kLineCaption.
  std::string* const texts[] = {&window->caption,   &window->contents_file, &window->index_file,
                                &window->default_file, &window->home_file,  &window->jump1_url,
                                &window->jump1_text, &window->jump2_url,    &window->jump2_text};
  static_assert(sizeof texts / sizeof texts[0] == kLineNavigationStyle);
  for (std::size_t f = 0; f < kLineNavigationStyle; ++f) *texts[f] = fields[kLineCaption + f].text;
  return ParseWindowNumbers(fields, window, error) &&
         ParseWindowPosition(fields[kLinePosition], window, error);
}

std::string StartPage(const BookInfo& book) {
  if (!book.default_topic.empty()) return book.default_topic;
  for (const SitemapEntry& e : book.contents) {
    if (!e.local.empty()) return e.local;
  }
  return book.files.empty() ? std::string() : book.files.front();
}

namespace {

// #WINDOWS: the default window first, as some readers take only the first.
std::string WindowsFile(const BookInfo& book, StringTable* strings) {
  std::vector<const WindowDefinition*> windows;
  if (const WindowDefinition* w = FindWindow(book, book.default_window)) windows.push_back(w);
  for (const WindowDefinition& w : book.windows) {
    if (w.name != book.default_window) windows.push_back(&w);
  }
  std::string windows_file;
  AppendLe32(&windows_file, static_cast<std::uint32_t>(windows.size()));
  AppendLe32(&windows_file, kWindowSize);
  for (const WindowDefinition* w : windows) windows_file += WindowStruct(*w, strings);
  return windows_file;
}

// #TOPICS, #URLTBL and #URLSTR.
struct TopicFiles {
  std::string topics;
  std::string url_table;
  std::string url_strings;
};

// Each topic: its title in #STRINGS, its #URLTBL entry, and that entry's
// page name in #URLSTR. #URLTBL holds 341 entries of 12 bytes per block.
TopicFiles MakeTopicFiles(const std::vector<Topic>& topics, StringTable* strings) {
  constexpr std::size_t kUrlEntrySize = 12;
  constexpr std::size_t kUrlsPerBlock = kBlockSize / kUrlEntrySize;
  constexpr std::uint32_t kNoTitle = 0xFFFFFFFFu;
  // Readers' flags for a topic: 2 for every one, 4 more for one in the contents.
  constexpr std::uint16_t kTopicInContents = 6;
  constexpr std::uint16_t kTopicElsewhere = 2;
  TopicFiles out;
  BlockTable url_strings;
  for (std::size_t t = 0; t < topics.size(); ++t) {
    const Topic& topic = topics[t];
    const std::string_view local = CutText(topic.local, kBlockSize - 9);
    const std::uint32_t url_offset = url_strings.Reserve(8 + local.size() + 1);
    AppendLe32(&url_strings.bytes(), 0);  // not a remote address
    AppendLe32(&url_strings.bytes(), 0);  // no frame name
    url_strings.bytes() += local;
    url_strings.bytes().push_back('\0');

    if (t > 0 && t % kUrlsPerBlock == 0) out.url_table.append(kBlockSize - kUrlsPerBlock * kUrlEntrySize, '\0');
    const std::uint32_t table_offset = static_cast<std::uint32_t>(out.url_table.size());
    AppendLe32(&out.url_table, 0);
    AppendLe32(&out.url_table, static_cast<std::uint32_t>(t));
    AppendLe32(&out.url_table, url_offset);

    AppendLe32(&out.topics, 0);  // no binary contents entry
    AppendLe32(&out.topics, topic.title.empty() ? kNoTitle : strings->Add(topic.title));
    AppendLe32(&out.topics, table_offset);
    AppendLe16(&out.topics, topic.in_contents ? kTopicInContents : kTopicElsewhere);
    AppendLe16(&out.topics, 0);
  }
  out.url_strings = url_strings.bytes();
  return out;
}

}  // namespace

bool MakeSystemFiles(const BookInfo& book, std::vector<InternalFile>* files, std::string* error) {
  files->clear();
  if (!book.default_window.empty() && !FindWindow(book, book.default_window)) {
    *error = "the default window " + book.default_window + " is not defined";
    return false;
  }
  const std::string start_page = StartPage(book);
  const std::vector<Topic> topics = CollectTopics(book);
  StringTable strings;
  const std::string windows_file = WindowsFile(book, &strings);
  TopicFiles topic_files = MakeTopicFiles(topics, &strings);

  // #SYSTEM stays uncompressed, as other compilers keep it; #ITBITS is
  // empty in every book.
  const std::string index_header = IndexHeaderFile(book, topics.size());
  files->push_back({kSystemFileNames[0], std::string(), true});
  files->push_back({kSystemFileNames[1], SystemFile(book, start_page, index_header), false});
  files->push_back({kSystemFileNames[2], windows_file});
  files->push_back({kSystemFileNames[3], std::move(topic_files.topics)});
  files->push_back({kSystemFileNames[4], std::move(topic_files.url_table)});
  files->push_back({kSystemFileNames[5], std::move(topic_files.url_strings)});
  files->push_back({kSystemFileNames[6], index_header});
  files->push_back({kSystemFileNames[7], strings.Bytes()});
  return true;
}

}  // namespace helpbook
