// Factories of the Win32 adapters, one per port, and the small helpers they
// share. Include windows_sdk.h before this header.
#pragma once

#include <memory>
#include <string>

#include "platform/os.h"

namespace qarx::win32 {

QARX_OS_PORTS(QARX_DECLARE_ADAPTER_FACTORY)

// UTF-16 strings as the SDK's wide strings (both are 16-bit on Windows).
inline const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline std::u16string FromWide(const wchar_t* text, size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// Closes a kernel handle when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle = nullptr) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~Handle() {
    if (handle_) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HANDLE handle_;
};

}  // namespace qarx::win32
