#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "project/page_order.h"

namespace inkbinder {
namespace {

using Names = std::vector<std::string>;

// Each list is in page order: every pair must compare that way, and sorting
// any arrangement of it must give it back.
TEST(PageOrderTest, ListsComeOutInReadingOrder) {
  struct Case {
    const char* what;
    Names sorted;
  } cases[] = {
      {"Chinese chapter numbers",
       {"第一章", "第二章", "第十章", "第十一章", "第二十章", "第一百零一章"}},
      {"Arabic chapter numbers", {"第2章", "第10章"}},
      {"numbers, then Latin, then Chinese",
       {"1.txt", "2.txt", "10.txt", "abc.txt", "Abd.txt", "第1章.txt"}},
      {"a number sorts where '0' would", {"a.txt", "a1.txt", "a_b.txt", "第1章", "第a章", "第附录"}},
      {"digit by digit, and with units",
       {"卷十", "卷一一", "卷十二", "卷两千", "卷二〇二五", "卷二〇二六", "卷三万五千"}},
      {"mixed Arabic and Chinese numbering", {"第1章", "第二章", "第3章", "第十章", "第11章"}},
      {"full-width digits", {"第９章", "第10章", "第１１章", "第12章"}},
      {"equal numbers: the bytes decide", {"第2章", "第二章", "第２章"}},
      {"leading zeros", {"007.txt", "7.txt", "08.txt", "010.txt"}},
      {"letter case: equal, then the bytes decide", {"A.txt", "a.txt", "B.txt", "b.txt"}},
      {"Ⅲ lower-cased", {"第Ⅱ章", "第Ⅲ章", "第ⅲ章", "第Ⅳ章"}},
      {"pinyin order of common characters", {"第一章", "附录", "后记", "前言", "序章"}},
      {"code page 936 order across scripts", {"z", "ｚ", "α", "я", "啊"}},
      {"shorter first", {"第", "第一", "第一章"}},
      {"numbers too large for any type", {"第九亿章", "第九亿亿亿亿亿亿章", "第99999999999999999999999章"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Names& sorted = c.sorted;
    for (size_t i = 0; i < sorted.size(); ++i) {
      for (size_t j = 0; j < sorted.size(); ++j) {
        EXPECT_EQ(PageOrderLess(sorted[i], sorted[j]), i < j) << sorted[i] << " vs " << sorted[j];
      }
    }
    Names shuffled(sorted.rbegin(), sorted.rend());
    std::rotate(shuffled.begin(), shuffled.begin() + 1, shuffled.end());
    SortPages(&shuffled);
    EXPECT_EQ(shuffled, sorted);
  }
}

// A number's value shows where names differ only after it: "<run>a" sorts
// before "<value>b", and "<run>a" after "<value - 1>z" and before "<value + 1>a".
TEST(PageOrderTest, NumeralRunsHoldTheirValues) {
  struct Case {
    const char* run;
    unsigned long long value;
  } cases[] = {
      {"二〇二六", 2026}, {"一一", 11}, {"〇〇七", 7}, {"零", 0}, {"两", 2},
      {"十", 10}, {"十一", 11}, {"二十", 20}, {"一百零五", 105}, {"一百零一", 101},
      {"两千", 2000}, {"三万五千", 35000}, {"十万", 100000}, {"一千零五十", 1050},
      {"三百五", 350}, {"一万五", 15000}, {"万", 10000}, {"三亿五千万", 350000000},
      {"一万亿", 1000000000000}, {"亿亿", 10000000000000000},
      {"０７", 7}, {"１２", 12}, {"0012", 12},
  };
  for (const Case& c : cases) {
    const std::string run = c.run, value = std::to_string(c.value);
    EXPECT_TRUE(PageOrderLess(run + "a", value + "b")) << run;
    EXPECT_TRUE(PageOrderLess(value + "a", run + "b")) << run;
    if (c.value > 0) {
      EXPECT_TRUE(PageOrderLess(std::to_string(c.value - 1) + "z", run + "a")) << run;
    }
    EXPECT_TRUE(PageOrderLess(run + "z", std::to_string(c.value + 1) + "a")) << run;
  }
}

// Random names, rich in ties (case, leading zeros, numeral forms) and in runs
// that are no proper number: the order must be a strict weak order whose ties
// break to a total order, and sorting by precomputed keys must agree with it.
TEST(PageOrderTest, RandomNamesAreTotallyOrdered) {
  const std::vector<std::string> pieces = {
      "0", "1", "2", "7", "10", "０", "２", "〇", "零", "一", "二", "两", "十", "百", "千", "万",
      "亿", "a", "A", "b", "B", "z", ".", "_", " ", "-", "第", "章", "附", "Ⅲ", "ⅲ", "é", "É", "ǎ"};
  std::mt19937 random(20260);
  std::uniform_int_distribution<size_t> piece(0, pieces.size() - 1), length(0, 5);
  Names names(3000);
  for (std::string& name : names) {
    for (size_t n = length(random); n > 0; --n) name += pieces[piece(random)];
  }

  for (const std::string& name : names) EXPECT_FALSE(PageOrderLess(name, name)) << name;

  Names by_keys = names;
  SortPages(&by_keys);
  Names by_pairs = names;
  std::sort(by_pairs.begin(), by_pairs.end(), PageOrderLess);
  ASSERT_EQ(by_keys, by_pairs);

  // In a total order, every earlier name is less than every later one, and
  // only equal names tie. Checking pairs across the sorted list also checks
  // transitivity: a cycle could not be laid out in a line.
  const Names& sorted = by_keys;
  const auto check = [&](size_t i, size_t j) {
    const bool same = sorted[i] == sorted[j];
    EXPECT_EQ(PageOrderLess(sorted[i], sorted[j]), !same) << sorted[i] << " vs " << sorted[j];
    EXPECT_FALSE(PageOrderLess(sorted[j], sorted[i])) << sorted[j] << " vs " << sorted[i];
  };
  for (size_t i = 0; i + 1 < sorted.size(); ++i) check(i, i + 1);
  std::uniform_int_distribution<size_t> index(0, sorted.size() - 1);
  for (int n = 0; n < 20000; ++n) {
    size_t i = index(random), j = index(random);
    if (i > j) std::swap(i, j);
    if (i != j) check(i, j);
  }
  // Triples from the whole set, near each other or not.
  for (int n = 0; n < 20000; ++n) {
    const std::string& a = names[index(random)];
    const std::string& b = names[index(random)];
    const std::string& c = names[index(random)];
    if (PageOrderLess(a, b) && PageOrderLess(b, c)) {
      EXPECT_TRUE(PageOrderLess(a, c)) << a << " < " << b << " < " << c;
    }
  }
}

}  // namespace
}  // namespace inkbinder
