// expect_throw<E>(fn, text): runs fn and records a test failure unless it
// throws E (or a class derived from it) whose what() is text ("" leaves the
// message unchecked). Returns the caught exception for further checks, empty
// when none of type E was thrown, so a test that expects an error fails when
// the call returns normally or throws something else.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace testsupport {

template <class E, class Fn>
std::optional<E> expect_throw(Fn&& fn, std::string_view text = {},
                              const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  try {
    fn();
  } catch (const E& e) {
    if (!text.empty() && std::string_view(e.what()) != text)
      ADD_FAILURE_AT(file, line) << "message\n  actual: " << e.what() << "\nexpected: " << text;
    return e;
  } catch (...) {
    std::string what = "something that is not a std::exception";
    try {
      throw;
    } catch (const std::exception& e) {
      what = std::string("another exception: ") + e.what();
    } catch (...) {
    }
    ADD_FAILURE_AT(file, line) << "threw " << what;
    return std::nullopt;
  }
  ADD_FAILURE_AT(file, line) << "nothing was thrown";
  return std::nullopt;
}

}  // namespace testsupport
