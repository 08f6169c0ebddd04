#include "helpbook/sitemap.h"

#include <cstdint>

#include "platform/text.h"

namespace helpbook {

namespace {

// Markup is ASCII, and no code page 936 trail byte is '<', '>', '"', '\'' or
// '=', so the bytes are scanned as they are.
using inkbinder::AsciiLower;
using inkbinder::SameIgnoringAsciiCase;

bool ContainsWord(std::string_view text, std::string_view word) {
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (SameIgnoringAsciiCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Calls see(key, value) for each attribute in a tag's inside, quoted or
// not, in order, until it returns false.
template <typename See>
void ForEachAttribute(std::string_view tag, See see) {
  size_t i = 0;
  while (i < tag.size()) {
    while (i < tag.size() && IsSpace(tag[i])) ++i;
    const size_t key_start = i;
    while (i < tag.size() && !IsSpace(tag[i]) && tag[i] != '=') ++i;
    const std::string_view key = tag.substr(key_start, i - key_start);
    while (i < tag.size() && IsSpace(tag[i])) ++i;
    if (i >= tag.size() || tag[i] != '=') {
      if (i == key_start) ++i;  // a stray character: step over it
      continue;
    }
    ++i;
    while (i < tag.size() && IsSpace(tag[i])) ++i;
    std::string_view found;
    if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
      const char quote = tag[i++];
      const size_t end = tag.find(quote, i);
      const size_t stop = end == std::string_view::npos ? tag.size() : end;
      found = tag.substr(i, stop - i);
      i = stop + 1;
    } else {
      const size_t start = i;
      while (i < tag.size() && !IsSpace(tag[i])) ++i;
      found = tag.substr(start, i - start);
    }
    if (!see(key, found)) return;
  }
}

// The value of attribute `name` in a tag's inside (its first); false when absent.
bool Attribute(std::string_view tag, std::string_view name, std::string_view* value) {
  bool has = false;
  ForEachAttribute(tag, [&](std::string_view key, std::string_view found) {
    if (!SameIgnoringAsciiCase(key, name)) return true;
    *value = found;
    has = true;
    return false;
  });
  return has;
}

void AppendCodePoint(std::string* out, std::uint32_t code_point) {
  if (code_point == 0 || code_point > 0x10FFFF) return;
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
    return;
  }
  std::string utf8;
  inkbinder::AppendUtf8(&utf8, static_cast<char32_t>(code_point));
  *out += inkbinder::Utf8ToCodePage(utf8, inkbinder::kCodePage936);
}

}  // namespace

std::string DecodeEntities(std::string_view text) {
  // Most texts hold no reference at all.
  if (text.find('&') == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t semicolon = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
    if (semicolon == std::string_view::npos || semicolon - i > 10) {
      out.push_back(text[i++]);
      continue;
    }
    const std::string_view entity = text.substr(i + 1, semicolon - i - 1);
    bool known = true;
    if (entity == "quot") {
      out.push_back('"');
    } else if (entity == "lt") {
      out.push_back('<');
    } else if (entity == "gt") {
      out.push_back('>');
    } else if (entity == "amp") {
      out.push_back('&');
    } else if (entity == "apos") {
      out.push_back('\'');
    } else if (entity.size() > 1 && entity[0] == '#') {
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      const std::string_view digits = entity.substr(hex ? 2 : 1);
      std::uint32_t value = 0;
      known = !digits.empty();
      for (char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (hex && AsciiLower(c) >= 'a' && AsciiLower(c) <= 'f') d = AsciiLower(c) - 'a' + 10;
        if (d < 0 || value > 0x10FFFF) {
          known = false;
          break;
        }
        value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
      }
      if (known) AppendCodePoint(&out, value);
    } else {
      known = false;
    }
    if (known) {
      i = semicolon + 1;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

namespace {

// Where the tag that starts at text[pos] ends: its first '>' outside quotes,
// or text.size() when it never closes.
size_t TagEnd(std::string_view text, size_t pos) {
  for (size_t end = pos + 1; end < text.size(); ++end) {
    const char c = text[end];
    if (c == '>') return end;
    if (c == '"' || c == '\'') {
      // Most of a tag's bytes are quoted: its close is searched for, not stepped to.
      end = text.find(c, end + 1);
      if (end == std::string_view::npos) break;
    }
  }
  return text.size();
}

// Where a sitemap's reading has got to.
struct SitemapState {
  std::vector<SitemapEntry>* entries = nullptr;
  int depth = 0;
  bool saw_list = false;
  bool in_entry = false;
  bool has_name = false;
  bool has_local = false;
  SitemapEntry entry;
};

// A <param> inside an entry: the first Name and Local count, later ones are
// alternatives readers ignore.
void ReadParam(std::string_view rest, SitemapState* state) {
  // One pass for both: a sitemap of 100,000 pages has 200,000 of them.
  std::string_view name;
  std::string_view value;
  bool has_name = false;
  bool has_value = false;
  ForEachAttribute(rest, [&](std::string_view key, std::string_view found) {
    if (!has_name && SameIgnoringAsciiCase(key, "name")) {
      name = found;
      has_name = true;
    } else if (!has_value && SameIgnoringAsciiCase(key, "value")) {
      value = found;
      has_value = true;
    }
    return !(has_name && has_value);
  });
  if (!has_name || !has_value) return;
  if (SameIgnoringAsciiCase(name, "Name") && !state->has_name) {
    state->entry.name = DecodeEntities(value);
    state->has_name = true;
  } else if (SameIgnoringAsciiCase(name, "Local") && !state->has_local) {
    state->entry.local = DecodeEntities(value);
    state->has_local = true;
  }
}

// One tag: `word` its name, `rest` what follows it, `pos` where it starts.
// False with a message when an entry opens inside another.
bool ReadTag(std::string_view word, std::string_view rest, size_t pos, SitemapState* state,
             std::string* error) {
  if (SameIgnoringAsciiCase(word, "ul")) {
    state->saw_list = true;
    ++state->depth;
  } else if (SameIgnoringAsciiCase(word, "/ul")) {
    if (state->depth > 0) --state->depth;
  } else if (SameIgnoringAsciiCase(word, "object")) {
    std::string_view type;
    if (Attribute(rest, "type", &type) && ContainsWord(type, "text/sitemap")) {
      if (state->in_entry) {
        *error = "an entry opens inside another at byte " + std::to_string(pos);
        return false;
      }
      state->in_entry = true;
      state->has_name = state->has_local = false;
      state->entry = SitemapEntry{};
      state->entry.depth = state->depth > 0 ? state->depth - 1 : 0;
    }
  } else if (SameIgnoringAsciiCase(word, "/object")) {
    if (state->in_entry) state->entries->push_back(std::move(state->entry));
    state->in_entry = false;
  } else if (state->in_entry && SameIgnoringAsciiCase(word, "param")) {
    ReadParam(rest, state);
  }
  return true;
}

}  // namespace

bool ParseSitemap(std::string_view text, std::vector<SitemapEntry>* entries, std::string* error) {
  entries->clear();
  // One entry an object: reserved, as growing the entries of 100,000 pages
  // held one and a half times them at once.
  std::size_t objects = 0;
  for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
    objects += SameIgnoringAsciiCase(text.substr(at + 1, 6), "object");
  }
  entries->reserve(objects);
  SitemapState state;
  state.entries = entries;
  size_t pos = 0;
  while ((pos = text.find('<', pos)) != std::string_view::npos) {
    if (text.compare(pos, 4, "<!--") == 0) {
      const size_t end = text.find("-->", pos + 4);
      if (end == std::string_view::npos) break;  // an open comment runs to the end
      pos = end + 3;
      continue;
    }
    const size_t end = TagEnd(text, pos);
    if (end >= text.size()) {
      *error = "a tag is not closed at byte " + std::to_string(pos);
      return false;
    }
    const std::string_view tag = text.substr(pos + 1, end - pos - 1);
    size_t word_end = 0;
    while (word_end < tag.size() && !IsSpace(tag[word_end])) ++word_end;
    if (!ReadTag(tag.substr(0, word_end), tag.substr(word_end), pos, &state, error)) return false;
    pos = end + 1;
  }
  if (state.in_entry) {
    *error = "the last entry is not closed";
    return false;
  }
  if (!state.saw_list && entries->empty()) {
    *error = "no entry list";
    return false;
  }
  return true;
}

}  // namespace helpbook
