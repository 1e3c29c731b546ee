// RegistryPort on Windows: RegOpenKeyExW for querying (KEY_QUERY_VALUE) and
// RegQueryValueExW; the key is closed with RegCloseKey.
//
// Keys are read in the registry's 32-bit view (KEY_WOW64_32KEY), the one
// the components' installers, 32-bit programs as a rule, write on 64-bit
// Windows (HKLM\SOFTWARE\Wow6432Node\...). The program is a 32-bit one and
// sees that view anyway; the flag says so, and 32-bit Windows ignores it.
// HKEY_CLASSES_ROOT's open commands are shared by both views.
#include "platform/win32/windows_sdk.h"

#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

class Win32Key final : public RegKey {
 public:
  explicit Win32Key(HKEY key) : key_(key) {}
  ~Win32Key() override { RegCloseKey(key_); }
  Win32Key(const Win32Key&) = delete;
  Win32Key& operator=(const Win32Key&) = delete;

  long QueryValue(const std::u16string& name, uint8_t* data, uint32_t& size, uint32_t& type) override {
    DWORD valueType = 0;
    DWORD valueSize = size;
    const LONG result = RegQueryValueExW(key_, name.empty() ? nullptr : Wide(name), nullptr, &valueType,
                                         reinterpret_cast<BYTE*>(data), &valueSize);
    size = valueSize;
    type = valueType;
    return result;
  }

 private:
  HKEY key_;
};

class Win32Registry final : public RegistryPort {
 public:
  std::unique_ptr<RegKey> Open(RegRoot root, const std::u16string& subKey) override {
    HKEY base = root == RegRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
    HKEY key = nullptr;
    if (RegOpenKeyExW(base, Wide(subKey), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) return nullptr;
    return std::make_unique<Win32Key>(key);
  }
};

}  // namespace

std::unique_ptr<RegistryPort> MakeRegistryPort() { return std::make_unique<Win32Registry>(); }

}  // namespace qarx::win32
