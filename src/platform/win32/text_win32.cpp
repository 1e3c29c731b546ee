// TextPort on Windows: MultiByteToWideChar from the ANSI code page.
#include "platform/win32/windows_sdk.h"

#include <climits>

#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

class AnsiText final : public TextPort {
 public:
  bool AnsiToUtf16(const uint8_t* bytes, size_t length, std::u16string& out) override {
    out.clear();
    if (length == 0) return true;
    if (length > INT_MAX) return false;
    const auto* text = reinterpret_cast<const char*>(bytes);
    const int size = static_cast<int>(length);
    const int needed = MultiByteToWideChar(CP_ACP, 0, text, size, nullptr, 0);
    if (needed <= 0) return false;
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text, size, wide.data(), needed) != needed) return false;
    out = FromWide(wide.c_str(), wide.size());
    return true;
  }
};

}  // namespace

std::unique_ptr<TextPort> MakeTextPort() { return std::make_unique<AnsiText>(); }

}  // namespace qarx::win32
