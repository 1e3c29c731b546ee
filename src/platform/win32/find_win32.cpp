// FindPort on Windows: FindFirstFileW / FindNextFileW, closed with FindClose.
#include "platform/win32/windows_sdk.h"

#include <cwchar>

#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

class Win32Find final : public FileFind {
 public:
  Win32Find(HANDLE handle, const WIN32_FIND_DATAW& first) : handle_(handle), data_(first) {}
  ~Win32Find() override { FindClose(handle_); }
  Win32Find(const Win32Find&) = delete;
  Win32Find& operator=(const Win32Find&) = delete;

  std::u16string FileName() override { return FromWide(data_.cFileName, std::wcslen(data_.cFileName)); }
  uint32_t Next() override { return FindNextFileW(handle_, &data_) ? 0 : GetLastError(); }

 private:
  HANDLE handle_;
  WIN32_FIND_DATAW data_;
};

class Win32Finder final : public FindPort {
 public:
  std::unique_ptr<FileFind> FindFirst(const std::u16string& pattern) override {
    WIN32_FIND_DATAW data{};
    HANDLE handle = FindFirstFileW(Wide(pattern), &data);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32Find>(handle, data);
  }
};

}  // namespace

std::unique_ptr<FindPort> MakeFindPort() { return std::make_unique<Win32Finder>(); }

}  // namespace qarx::win32
