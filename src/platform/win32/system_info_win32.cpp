// SystemInfoPort on Windows: GetVersionExW in its extended and plain forms,
// GetNativeSystemInfo looked up at run time (GetSystemInfo otherwise),
// GetSystemMetrics and GetSystemDirectoryW.
#include "platform/win32/windows_sdk.h"

#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

using NativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);

NativeSystemInfoFn FindNativeSystemInfo() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return nullptr;
  return reinterpret_cast<NativeSystemInfoFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")));
}

class Win32SystemInfo final : public SystemInfoPort {
 public:
  bool GetVersionEx(bool extended, OsVersionRecord& record) override {
    record = {};
    if (extended) {
      OSVERSIONINFOEXW info{};
      info.dwOSVersionInfoSize = sizeof info;
      if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return false;
      Copy(info, record);
      record.wSuiteMask = info.wSuiteMask;
      record.wProductType = info.wProductType;
      return true;
    }
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info)) return false;
    Copy(info, record);
    return true;
  }

  bool HasNativeSystemInfo() override { return FindNativeSystemInfo() != nullptr; }

  uint16_t GetProcessorArchitecture(bool native) override {
    SYSTEM_INFO info{};
    NativeSystemInfoFn nativeFn = native ? FindNativeSystemInfo() : nullptr;
    if (nativeFn) {
      nativeFn(&info);
    } else {
      GetSystemInfo(&info);
    }
    return info.wProcessorArchitecture;
  }

  int GetSystemMetrics(int index) override { return ::GetSystemMetrics(index); }

  uint32_t GetSystemDirectory(uint32_t capacity, std::u16string& out) override {
    out.clear();
    std::wstring buffer(capacity, L'\0');
    const UINT length = GetSystemDirectoryW(buffer.data(), capacity);
    if (length > 0 && length < capacity) out = FromWide(buffer.c_str(), length);
    return length;
  }

 private:
  template <typename Info>
  static void Copy(const Info& info, OsVersionRecord& record) {
    record.dwPlatformId = info.dwPlatformId;
    record.dwMajorVersion = info.dwMajorVersion;
    record.dwMinorVersion = info.dwMinorVersion;
  }
};

}  // namespace

std::unique_ptr<SystemInfoPort> MakeSystemInfoPort() { return std::make_unique<Win32SystemInfo>(); }

}  // namespace qarx::win32
