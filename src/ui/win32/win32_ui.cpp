#include "platform/win32/windows_sdk.h"
// (the SDK first)
#include "ui/win32/win32_ui.h"

#include "common/qarx_types.h"
#include "ui/win32/win32_ui_port.h"

namespace qarx {

std::unique_ptr<UiPort> MakeWin32Ui(std::function<void()> sessionEnding) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!FindResourceW(instance, MAKEINTRESOURCEW(IDD_QARXSERVICE_DIALOG), RT_DIALOG))
    return nullptr;
  // A session without a desktop (a service's, or Wine without a display)
  // refuses top-level windows.
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
  if (!probe) return nullptr;
  DestroyWindow(probe);
  return std::make_unique<win32::Win32UiPort>(instance, std::move(sessionEnding));
}

}  // namespace qarx
