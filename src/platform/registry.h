// Read-only registry access.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qarx {

enum class RegRoot { ClassesRoot, LocalMachine };

inline constexpr long ERROR_SUCCESS_ = 0;
inline constexpr long ERROR_FILE_NOT_FOUND_ = 2;
inline constexpr long ERROR_MORE_DATA_ = 234;

// Value types as the registry reports them.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_EXPAND_SZ = 2;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;
inline constexpr uint32_t REG_MULTI_SZ = 7;
inline constexpr uint32_t REG_QWORD = 11;

class RegKey {
 public:
  virtual ~RegKey() = default;  // closes the key
  // name empty = the default value; value names ignore case. size: capacity
  // in bytes on entry, data length on return (also when the data does not
  // fit). data may be null to ask for the length only. Returns 0 or a system
  // error code (234 when the data does not fit, 2 when the value is missing).
  virtual long QueryValue(const std::u16string& name, uint8_t* data, uint32_t& size,
                          uint32_t& type) = 0;
};

class RegistryPort {
 public:
  virtual ~RegistryPort() = default;
  // Opens root\subKey for querying (key names ignore case, a trailing
  // backslash is allowed); null when it cannot be opened.
  virtual std::unique_ptr<RegKey> Open(RegRoot root, const std::u16string& subKey) = 0;
};

}  // namespace qarx
