#pragma once

#include <string>

#include <gtest/gtest.h>

namespace inkbinder::testing {

// Byte-for-byte comparison that, on a mismatch, names the first differing
// offset and shows both sides around it in hex.
::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual);

}  // namespace inkbinder::testing

#define EXPECT_SAME_BYTES(expected, actual) \
  EXPECT_TRUE(::inkbinder::testing::SameBytes((expected), (actual)))
