// A TextPort for tests: bytes below 0x80 as themselves, others as U+FFFD,
// like a conversion in an ASCII locale.
#pragma once

#include "platform/text_codec.h"

namespace qarx::testing {

class FakeText : public TextPort {
 public:
  bool AnsiToUtf16(const uint8_t* bytes, size_t length, std::u16string& out) override {
    out.clear();
    if (fail) return false;
    for (size_t i = 0; i < length; ++i) out.push_back(bytes[i] < 0x80 ? char16_t{bytes[i]} : u'\uFFFD');
    return true;
  }
  bool fail = false;
};

}  // namespace qarx::testing
