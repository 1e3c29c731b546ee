// Text in the character set of the user's locale (LC_ALL / LC_CTYPE / LANG),
// read without touching the process's locale: what Windows calls the ANSI
// code page. For Linux adapters that meet such text (terminal model names,
// files without a byte-order mark).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qarx::linux_port {

// The locale's character set, "ASCII" when none is set.
std::string LocaleCharset();

// bytes in that character set as UTF-16; bytes it cannot decode become
// U+FFFD. False (out empty) when the system has no converter for it.
bool DecodeLocaleText(const uint8_t* bytes, size_t length, std::u16string& out);

}  // namespace qarx::linux_port
