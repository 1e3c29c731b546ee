// Conversion of the system's 8-bit ("ANSI") text to UTF-16. On Windows this
// is the ANSI code page; elsewhere the character set of the user's locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qarx {

class TextPort {
 public:
  virtual ~TextPort() = default;
  // Converts length bytes. Bytes the character set cannot decode become
  // U+FFFD. False when no conversion is possible at all; out is then empty.
  virtual bool AnsiToUtf16(const uint8_t* bytes, size_t length, std::u16string& out) = 0;
};

}  // namespace qarx
