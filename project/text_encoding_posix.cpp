#include <errno.h>
#include <iconv.h>

#include "project/text_encoding.h"

namespace inkbinder {

namespace {

// glibc's CP936 is Windows' code page 936 (GBK with the euro sign at 0x80).
const char* IconvName(CodePage) { return "CP936"; }

// Converts with iconv, putting `replacement` for each input sequence that
// cannot be converted and skipping over it by `skip` bytes.
std::string Convert(std::string_view in, const char* from, const char* to,
                    std::string_view replacement, size_t skip) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
  std::string out;
  out.reserve(in.size() * 3 / 2 + 4);
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char buffer[4096];
  while (src_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (truncated at the end): replace and step over it.
    out.append(replacement);
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
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  iconv_close(cd);
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
