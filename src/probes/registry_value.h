// One registry value read the way every probe reads it: into a cleared
// 256-byte buffer, without asking for or checking the type.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/qarx_types.h"
#include "platform/registry.h"

namespace qarx {

struct RegistryValue {
  uint8_t data[kRegValueBytes] = {};
  uint32_t size = 0;  // bytes of data returned
  uint32_t type = REG_NONE;
};

// False when the value is missing, unreadable or longer than 256 bytes.
bool ReadRegistryValue(RegKey& key, std::u16string_view name, RegistryValue& value);

// The data as UTF-16 text: up to the first terminator or the end of the data,
// whichever comes first (data without a terminator is never read past).
std::u16string RegistryText(const RegistryValue& value);

// The first four bytes as a little-endian number (a REG_DWORD's value;
// shorter data reads as zero-padded).
uint32_t RegistryDword(const RegistryValue& value);

}  // namespace qarx
