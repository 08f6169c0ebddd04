#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace inkbinder {

// The order of the page list, which is the order of the book.
//
// Names compare as runs. A run of digits (ASCII or full-width) or of Chinese
// numerals is a number compared by value: 第2章, 第二章 and 第02章 hold the same
// number; 二〇二六 is 2026, 一百零五 is 105. Against a character, a number sorts
// where the character '0' would. Other characters compare one by one,
// lower-cased, in code page 936 byte order: ASCII first, then Chinese in pinyin
// order for the common characters. Names that still come out equal are
// ordered by their bytes, so the order is total.
bool PageOrderLess(std::string_view a, std::string_view b);

// Sorts `names` into that order, working out what each name sorts by once.
void SortPages(std::vector<std::string>* names);

}  // namespace inkbinder
