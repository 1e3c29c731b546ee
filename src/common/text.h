// Text conversion between the UTF-16 the core works in and the UTF-8 the
// outside world (files, terminals, the event stream) speaks.
#pragma once

#include <string>
#include <string_view>

namespace qarx {

// Invalid sequences become U+FFFD; never fails.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// "%s" in pattern replaced by value (the only conversion the log texts use).
std::u16string FormatS(std::u16string_view pattern, std::u16string_view value);

}  // namespace qarx
