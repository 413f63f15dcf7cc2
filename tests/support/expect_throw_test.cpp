// The helper must fail a test when the call returns normally, throws another
// type or throws the right type with another message.
#include "tests/support/expect_throw.h"

#include <gtest/gtest-spi.h>

#include <stdexcept>

using testsupport::expect_throw;

TEST(ExpectThrow, PassesAndReturnsTheException) {
  auto e = expect_throw<std::runtime_error>([] { throw std::runtime_error("boom"); }, "boom");
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->what(), "boom");
  EXPECT_TRUE(expect_throw<std::exception>([] { throw std::out_of_range("x"); }));
}

TEST(ExpectThrow, FailsWhenNothingIsThrown) {
  EXPECT_NONFATAL_FAILURE(expect_throw<std::runtime_error>([] {}), "nothing was thrown");
}

TEST(ExpectThrow, FailsOnAnotherType) {
  EXPECT_NONFATAL_FAILURE(
      expect_throw<std::out_of_range>([] { throw std::runtime_error("other"); }),
      "threw another exception: other");
  EXPECT_NONFATAL_FAILURE(expect_throw<std::runtime_error>([] { throw 42; }),
                          "not a std::exception");
}

TEST(ExpectThrow, FailsOnAnotherMessage) {
  EXPECT_NONFATAL_FAILURE(
      expect_throw<std::runtime_error>([] { throw std::runtime_error("actual"); }, "wanted"),
      "expected: wanted");
}
