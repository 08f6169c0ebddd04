#include "testing/bytes_assert.h"

#include <algorithm>
#include <cstdio>

namespace inkbinder::testing {

namespace {

std::string HexAround(const std::string& s, size_t at) {
  const size_t from = at >= 16 ? at - 16 : 0;
  const size_t to = std::min(s.size(), at + 16);
  std::string out;
  char cell[8];
  for (size_t i = from; i < to; ++i) {
    std::snprintf(cell, sizeof cell, i == at ? "[%02X]" : " %02X ", static_cast<unsigned char>(s[i]));
    out += cell;
  }
  return out;
}

}  // namespace

::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  return ::testing::AssertionFailure()
         << "bytes differ at offset " << at << " (expected " << expected.size()
         << " bytes, got " << actual.size() << ")\n  expected:" << HexAround(expected, at)
         << "\n  actual:  " << HexAround(actual, at);
}

}  // namespace inkbinder::testing
