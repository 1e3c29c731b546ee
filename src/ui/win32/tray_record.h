// The notification-area record handed to Shell_NotifyIconW, built from the
// dialog's tray record. Include platform/win32/windows_sdk.h first.
#pragma once

#include "platform/ui.h"

namespace qarx::win32 {

// The record size the running shell knows: the full layout from Windows
// Vista (6.0) on, the XP layout on 5.1 and 5.2, the Windows 2000 one on 5.0,
// the first one before. A shell refuses a size newer than its own.
DWORD NotifyIconDataSize(DWORD majorVersion, DWORD minorVersion);

// The dialog's record for window and icon; the size is the given one, the
// tip is cut to what the record holds (127 characters and the terminator).
NOTIFYICONDATAW MakeNotifyIconData(const TrayIconData& data, HWND window, HICON icon, DWORD size);

}  // namespace qarx::win32
