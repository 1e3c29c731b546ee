// ProfilePort on Windows: GetPrivateProfileStringW and GetPrivateProfileIntW.
#include "platform/win32/windows_sdk.h"

#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

class Win32Profile final : public ProfilePort {
 public:
  uint32_t GetString(const std::u16string& section, const std::u16string& key, const std::u16string& defaultValue,
                     std::u16string& out, uint32_t capacity, const std::u16string& file) override {
    out.clear();
    if (capacity == 0) return 0;
    std::wstring buffer(capacity, L'\0');
    const DWORD copied =
        GetPrivateProfileStringW(Wide(section), Wide(key), Wide(defaultValue), buffer.data(), capacity, Wide(file));
    out = FromWide(buffer.c_str(), copied);
    return copied;
  }

  uint32_t GetInt(const std::u16string& section, const std::u16string& key, int32_t defaultValue,
                  const std::u16string& file) override {
    return GetPrivateProfileIntW(Wide(section), Wide(key), defaultValue, Wide(file));
  }
};

}  // namespace

std::unique_ptr<ProfilePort> MakeProfilePort() { return std::make_unique<Win32Profile>(); }

}  // namespace qarx::win32
