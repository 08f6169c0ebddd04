#include <errno.h>
#include <iconv.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/text.h"

namespace inkbinder {

namespace {

// glibc's CP936 is Windows' code page 936 (GBK with the euro sign at 0x80).
const char* IconvName(CodePage) { return "CP936"; }

// Opening a converter costs more than converting a page title: keep one per
// direction for the thread's life.
class Converter {
 public:
  Converter(const char* from, const char* to) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

const Converter& ConverterFor(const char* from, const char* to) {
  thread_local std::map<std::pair<std::string, std::string>, Converter> cache;
  return cache.try_emplace({from, to}, from, to).first->second;
}

// Converts with iconv, putting `replacement` for each input sequence that
// cannot be converted and skipping over it by `skip` bytes.
void ConvertRun(iconv_t cd, std::string_view in, std::string_view replacement, size_t skip,
                std::string* out) {
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char buffer[4096];
  while (src_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    out->append(buffer, static_cast<size_t>(dst - buffer));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (truncated at the end): replace and step over it.
    out->append(replacement);
    size_t step = skip;
    if (skip == 0) {  // UTF-8 input: skip the whole character
      const auto lead = static_cast<unsigned char>(*src);
      step = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      size_t i = 1;
      while (i < step && i < src_left && (static_cast<unsigned char>(src[i]) & 0xC0) == 0x80) ++i;
      step = i;
    }
    if (step > src_left) step = src_left;
    src += step;
    src_left -= step;
  }
}

// Converts `in` with iconv: `replacement` for each sequence it cannot
// convert, stepping over it by `skip` bytes (0: a UTF-8 character).
std::string ConvertWith(iconv_t cd, std::string_view in, std::string_view replacement, size_t skip) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh start, whatever came before
  std::string out;
  out.reserve(in.size() * 3 / 2 + 4);
  if (skip != 0) {
    ConvertRun(cd, in, replacement, skip, &out);
    return out;
  }
  // From UTF-8, a byte below 0x80 is a character of its own, and ASCII is the
  // same in the code page. iconv is slow per byte and per call, and the
  // generated files are mostly ASCII: copy ASCII stretches, and convert what
  // lies between them, short ASCII gaps included.
  constexpr size_t kWorthCopying = 16;
  const auto ascii = [&](size_t i) { return static_cast<unsigned char>(in[i]) < 0x80; };
  size_t pos = 0;
  while (pos < in.size()) {
    size_t end = pos;
    while (end < in.size() && ascii(end)) ++end;
    out.append(in.data() + pos, end - pos);
    pos = end;
    if (pos == in.size()) break;
    // in[pos] is not ASCII: convert up to the next ASCII run worth copying.
    size_t stop = pos;
    size_t ascii_run = 0;
    while (stop < in.size() && ascii_run < kWorthCopying) {
      ascii_run = ascii(stop) ? ascii_run + 1 : 0;
      ++stop;
    }
    const size_t converted_end = stop - ascii_run;  // > pos: in[pos] is not ASCII
    ConvertRun(cd, in.substr(pos, converted_end - pos), replacement, skip, &out);
    pos = converted_end;
  }
  return out;
}

std::string Convert(std::string_view in, const char* from, const char* to,
                    std::string_view replacement, size_t skip) {
  const Converter& converter = ConverterFor(from, to);
  if (!converter.valid()) return std::string();
  return ConvertWith(converter.get(), in, replacement, skip);
}

// Code page 936 a character at a time, each character's conversion asked of
// iconv once in the process and remembered: iconv's cost per call is many
// times that of converting a page name, and a book's names and titles use a
// few thousand characters, 100,000 pages of them. The answers are iconv's
// own, so the text is the same; text they cannot answer for (not UTF-8, a
// character beyond the Basic Multilingual Plane, an answer of an unexpected
// shape) goes to iconv whole.
class Cp936Memo {
 public:
  // False when only iconv can convert `utf8`.
  bool ToCodePage(std::string_view utf8, std::string* out) {
    // No character takes more bytes in the code page than in UTF-8: write
    // into room made once, not a byte at a time into a growing string.
    out->resize(utf8.size());
    char* const start = out->data();
    char* to = start;
    size_t pos = 0;
    while (pos < utf8.size()) {
      const size_t ascii = AsciiRun(utf8, pos);
      if (ascii > pos) {
        std::memcpy(to, utf8.data() + pos, ascii - pos);  // the same bytes in the code page
        to += ascii - pos;
        pos = ascii;
        continue;
      }
      char32_t cp;
      if (!NextCodePoint(utf8, &pos, &cp) || cp > 0xFFFF) return false;
      std::uint32_t known = encode_[cp].load(std::memory_order_relaxed);
      if (known == 0) {
        known = AskEncode(cp);
        encode_[cp].store(known, std::memory_order_relaxed);
      }
      if (known == kUnanswered) return false;
      if (known == kNone) {
        *to++ = '?';
      } else if ((known & kTwoBytes) != 0) {
        *to++ = static_cast<char>((known >> 8) & 0xFF);
        *to++ = static_cast<char>(known & 0xFF);
      } else {
        *to++ = static_cast<char>(known & 0xFF);
      }
    }
    out->resize(static_cast<size_t>(to - start));
    return true;
  }

  // False when only iconv can convert `bytes`.
  bool ToUtf8(std::string_view bytes, std::string* out) {
    // No byte makes more than three in UTF-8: the text is written into room
    // made once and copied out at its size. Names and links, a few hundred
    // thousand of them in a large book, fit on the stack.
    constexpr size_t kShortText = 128;
    char short_room[3 * kShortText];
    std::unique_ptr<char[]> long_room;
    char* start = short_room;
    if (bytes.size() > kShortText) {
      long_room.reset(new char[3 * bytes.size()]);
      start = long_room.get();
    }
    char* to = start;
    size_t pos = 0;
    while (pos < bytes.size()) {
      const size_t ascii = AsciiRun(bytes, pos);
      if (ascii > pos) {
        std::memcpy(to, bytes.data() + pos, ascii - pos);
        to += ascii - pos;
        pos = ascii;
        continue;
      }
      const auto b = static_cast<unsigned char>(bytes[pos]);
      std::uint32_t known = Remembered(&single_[b - 0x80], {bytes.data() + pos, 1});
      if (known == kLead) {
        // A lead byte: what it makes with the next, or a replaced byte when
        // it is the last (iconv stops there as at an invalid pair).
        known = pos + 1 < bytes.size()
                    ? Remembered(&pair_[(b - 0x80) * 0x100 + static_cast<unsigned char>(bytes[pos + 1])],
                                 {bytes.data() + pos, 2})
                    : kNone;
      }
      if (known == kUnanswered || known == kLead) return false;
      if (known == kNone) {
        to = PutUtf8(to, 0xFFFD);  // and one byte on, as iconv's caller steps
        ++pos;
        continue;
      }
      to = PutUtf8(to, known & 0xFFFF);
      pos += (known & kTwoBytes) != 0 ? 2 : 1;
    }
    out->assign(start, static_cast<size_t>(to - start));
    return true;
  }

 private:
  // A character of the Basic Multilingual Plane in UTF-8 at `to`; where it ends.
  static char* PutUtf8(char* to, std::uint32_t cp) {
    if (cp < 0x80) {
      *to++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
      *to++ = static_cast<char>(0xC0 | (cp >> 6));
      *to++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *to++ = static_cast<char>(0xE0 | (cp >> 12));
      *to++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *to++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return to;
  }

  // Where the ASCII from `pos` on ends: the generated files are mostly ASCII.
  static size_t AsciiRun(std::string_view text, size_t pos) {
    // Eight bytes at a time: the sitemaps of 100,000 pages are megabytes.
    std::uint64_t word;
    while (pos + sizeof word <= text.size()) {
      std::memcpy(&word, text.data() + pos, sizeof word);
      if ((word & 0x8080808080808080u) != 0) break;
      pos += sizeof word;
    }
    while (pos < text.size() && static_cast<unsigned char>(text[pos]) < 0x80) ++pos;
    return pos;
  }

  // An answer: 0 not asked yet; kNone for no character; kLead for a byte
  // that needs the next; else the character (its bytes, or its code point)
  // and kTwoBytes when it takes two bytes.
  static constexpr std::uint32_t kAnswered = 1u << 31;
  static constexpr std::uint32_t kNone = kAnswered | 1u << 30;
  static constexpr std::uint32_t kLead = kAnswered | 1u << 29;
  static constexpr std::uint32_t kUnanswered = kAnswered | 1u << 28;
  static constexpr std::uint32_t kTwoBytes = 1u << 16;

  // One character to the code page, as iconv converts it.
  static std::uint32_t AskEncode(char32_t cp) {
    std::string utf8;
    AppendUtf8(&utf8, cp);
    std::string out;
    size_t consumed = 0;
    const int result = Ask("UTF-8", "CP936", utf8, &out, &consumed);
    if (result == EILSEQ && consumed == 0) return kNone;
    if (result != 0 || consumed != utf8.size()) return kUnanswered;
    if (out.size() == 1) return kAnswered | static_cast<unsigned char>(out[0]);
    if (out.size() == 2) {
      return kAnswered | kTwoBytes | static_cast<unsigned char>(out[0]) << 8 | static_cast<unsigned char>(out[1]);
    }
    return kUnanswered;
  }

  // One or two code page bytes to a character, as iconv converts them.
  static std::uint32_t AskDecode(std::string_view bytes) {
    std::string out;
    size_t consumed = 0;
    const int result = Ask("CP936", "UTF-8", bytes, &out, &consumed);
    if (result == EINVAL && bytes.size() == 1 && consumed == 0) return kLead;
    if (result == EILSEQ && consumed == 0) return kNone;
    if (result != 0 || consumed != bytes.size()) return kUnanswered;
    size_t at = 0;
    char32_t cp;
    if (!NextCodePoint(out, &at, &cp) || at != out.size() || cp > 0xFFFF) return kUnanswered;
    return kAnswered | (bytes.size() == 2 ? kTwoBytes : 0) | static_cast<std::uint32_t>(cp);
  }

  static std::uint32_t Remembered(std::atomic<std::uint32_t>* slot, std::string_view bytes) {
    std::uint32_t known = slot->load(std::memory_order_relaxed);
    if (known == 0) {
      known = AskDecode(bytes);
      slot->store(known, std::memory_order_relaxed);
    }
    return known;
  }

  // iconv on `in` alone: 0, or the errno it stopped with; how much of `in` it took.
  static int Ask(const char* from, const char* to, std::string_view in, std::string* out, size_t* consumed) {
    const Converter& converter = ConverterFor(from, to);
    if (!converter.valid()) return EBADF;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char buffer[16];
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    const size_t r = iconv(converter.get(), &src, &src_left, &dst, &dst_left);
    const int error = r == static_cast<size_t>(-1) ? errno : 0;
    out->assign(buffer, static_cast<size_t>(dst - buffer));
    *consumed = in.size() - src_left;
    return error;
  }

  std::atomic<std::uint32_t> encode_[0x10000] = {};
  std::atomic<std::uint32_t> single_[0x80] = {};
  std::atomic<std::uint32_t> pair_[0x80 * 0x100] = {};
};

Cp936Memo& Memo() {
  static Cp936Memo* const memo = new Cp936Memo;  // never destroyed: threads may convert at exit
  return *memo;
}

}  // namespace

std::string Utf8ToCodePage(std::string_view utf8, CodePage code_page) {
  std::string out;
  if (Memo().ToCodePage(utf8, &out)) return out;
  return Convert(utf8, "UTF-8", IconvName(code_page), "?", 0);
}

std::string CodePageToUtf8(std::string_view bytes, CodePage code_page) {
  std::string out;
  if (Memo().ToUtf8(bytes, &out)) return out;
  return Convert(bytes, IconvName(code_page), "UTF-8", "\xEF\xBF\xBD", 1);
}

}  // namespace inkbinder
