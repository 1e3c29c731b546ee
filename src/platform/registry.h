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

class RegKey {
 public:
  virtual ~RegKey() = default;  // closes the key
  // name empty = the default value. size: capacity in bytes on entry, data
  // length on return. Returns 0 or a system error code (234 when the data
  // does not fit, 2 when the value is missing).
  virtual long QueryValue(const std::u16string& name, uint8_t* data, uint32_t& size,
                          uint32_t& type) = 0;
};

class RegistryPort {
 public:
  virtual ~RegistryPort() = default;
  // Opens root\subKey for querying; null when it cannot be opened.
  virtual std::unique_ptr<RegKey> Open(RegRoot root, const std::u16string& subKey) = 0;
};

}  // namespace qarx
