#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace inkbinder {

// A page title as it goes into a sitemap's Name value, still UTF-8. Each
// character `code_page` cannot hold becomes a numeric character reference
// (&#160;, one per character, also beyond U+FFFF), which readers decode; the
// rest stays as it is. U+FFFD, which stands for bytes that were no text,
// stays too and is written '?', as before. The result takes at most
// `max_bytes` bytes in the code page: it is cut between characters, never
// inside a reference.
std::string TitleForSitemap(std::string_view utf8, CodePage code_page, size_t max_bytes);

}  // namespace inkbinder
