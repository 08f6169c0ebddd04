#include <errno.h>
#include <iconv.h>

#include <map>
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

std::string Convert(std::string_view in, const char* from, const char* to,
                    std::string_view replacement, size_t skip) {
  const Converter& converter = ConverterFor(from, to);
  if (!converter.valid()) return std::string();
  iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);  // a fresh start, whatever came before
  std::string out;
  out.reserve(in.size() * 3 / 2 + 4);
  if (skip != 0) {
    ConvertRun(converter.get(), in, replacement, skip, &out);
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
    ConvertRun(converter.get(), in.substr(pos, converted_end - pos), replacement, skip, &out);
    pos = converted_end;
  }
  return out;
}

}  // namespace

std::string Utf8ToCodePage(std::string_view utf8, CodePage code_page) {
  return Convert(utf8, "UTF-8", IconvName(code_page), "?", 0);
}

std::string CodePageToUtf8(std::string_view bytes, CodePage code_page) {
  return Convert(bytes, IconvName(code_page), "UTF-8", "\xEF\xBF\xBD", 1);
}

}  // namespace inkbinder
