// Reading INI-style text the way the platform's profile functions do:
// section and key names compared ignoring case, white space around names and
// values trimmed, the first occurrence of a section or key wins.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qarx {

// Turns the bytes of an INI file into UTF-16: UTF-16LE with BOM, UTF-8 with
// BOM, or UTF-8 without BOM. False when there is no BOM and the bytes are not
// valid UTF-8 (out is then empty); the caller decides which 8-bit code page
// applies.
bool DecodeIniBytes(std::string_view bytes, std::u16string& out);

// The value of key in section, or false when either is missing. The value is
// trimmed; one pair of matching surrounding quotes is removed.
bool FindIniValue(std::u16string_view text, std::u16string_view section, std::u16string_view key,
                  std::u16string& value);

// GetPrivateProfileString: the value (or defaultValue when the key is missing)
// cut to capacity - 1 code units; returns the number of code units copied.
uint32_t IniGetString(std::u16string_view text, std::u16string_view section, std::u16string_view key,
                      std::u16string_view defaultValue, std::u16string& out, uint32_t capacity);

// GetPrivateProfileInt: defaultValue when the key is missing or empty;
// otherwise an optional sign and the leading decimal digits, wrapping modulo
// 2^32 (so "4294967295" reads as all bits set); no digits read as 0.
uint32_t IniGetInt(std::u16string_view text, std::u16string_view section, std::u16string_view key,
                   int32_t defaultValue);

}  // namespace qarx
