// The error of a text that does not convert to the number it should be, one
// class for every reader of numbers in the program (the MySQL values and
// fields, the FTP passive reply).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "'%s' is not a valid integer value" for text.
inline EConvertError invalid_integer(std::string_view text) {
  return EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

}  // namespace platform
