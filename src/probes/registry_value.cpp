#include "probes/registry_value.h"

namespace qarx {

bool ReadRegistryValue(RegKey& key, std::u16string_view name, RegistryValue& value) {
  value = RegistryValue{};
  uint32_t size = sizeof(value.data);
  uint32_t type = REG_NONE;
  if (key.QueryValue(std::u16string(name), value.data, size, type) != ERROR_SUCCESS_) return false;
  // A port that reports more than it may have copied is not trusted past the buffer.
  value.size = size < sizeof(value.data) ? size : sizeof(value.data);
  value.type = type;
  return true;
}

std::u16string RegistryText(const RegistryValue& value) {
  std::u16string text;
  for (uint32_t i = 0; i + 1 < value.size; i += 2) {
    const auto unit = static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

uint32_t RegistryDword(const RegistryValue& value) {
  return static_cast<uint32_t>(value.data[0]) | (static_cast<uint32_t>(value.data[1]) << 8) |
         (static_cast<uint32_t>(value.data[2]) << 16) | (static_cast<uint32_t>(value.data[3]) << 24);
}

}  // namespace qarx
