// The bytes of text files as Windows tools write them, for tests that put
// such files on disk.
#pragma once

#include <string>

namespace qarx::testing {

// UTF-16LE with its byte-order mark (Notepad's "Unicode").
inline std::string Utf16LeWithBom(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

}  // namespace qarx::testing
