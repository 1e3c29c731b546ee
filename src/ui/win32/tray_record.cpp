#include "platform/win32/windows_sdk.h"
// (the SDK first)
#include "ui/win32/tray_record.h"

#include <algorithm>
#include <cstring>

namespace qarx::win32 {

DWORD NotifyIconDataSize(DWORD majorVersion, DWORD minorVersion) {
  if (majorVersion >= 6) return sizeof(NOTIFYICONDATAW);
  if (majorVersion == 5 && minorVersion >= 1) return NOTIFYICONDATAW_V3_SIZE;
  if (majorVersion == 5) return NOTIFYICONDATAW_V2_SIZE;
  return NOTIFYICONDATAW_V1_SIZE;
}

NOTIFYICONDATAW MakeNotifyIconData(const TrayIconData& data, HWND window, HICON icon, DWORD size) {
  NOTIFYICONDATAW record;
  std::memset(&record, 0, sizeof(record));
  record.cbSize = size;
  record.hWnd = window;
  record.uID = data.uID;
  record.uFlags = data.uFlags;
  record.uCallbackMessage = data.uCallbackMessage;
  record.hIcon = data.hIcon != 0 ? icon : nullptr;
  const size_t length = std::min(data.szTip.size(), std::size(record.szTip) - 1);
  std::memcpy(record.szTip, data.szTip.data(), length * sizeof(wchar_t));
  record.szTip[length] = L'\0';
  return record;
}

}  // namespace qarx::win32
