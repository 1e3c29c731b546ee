// The one way a Win32 adapter includes the Windows SDK.
//
// The ports and the core name their constants and methods as Windows does
// (WM_PAINT, IDOK, MB_YESNO, REG_SZ, SCARD_S_SUCCESS, MessageBox,
// CreateFile, ...), while the SDK defines the same names as macros. This
// header includes the SDK, keeps each shared value under a name of its own in
// qarx::win32::sdk, and then removes the macros, so that the port headers
// can be included after it and mean what they say. Adapters use the ports'
// constants (qarx::MB_YESNO) and call the SDK's wide functions by their full
// names (MessageBoxW, CreateFileW). win32_sdk_values.cpp checks at compile
// time that every port constant equals the SDK's value.
//
// Include it first, before any port header, and never include <windows.h>
// or the SDK's other headers directly.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>
#include <aclapi.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <wininet.h>
#include <winscard.h>

// Every SDK macro that a port also defines, as (name).
#define QARX_SDK_SHARED_VALUES(X)                                                                      \
  X(WM_PAINT) X(WM_QUERYENDSESSION) X(WM_ENDSESSION) X(WM_APP)                                       \
  X(WM_QUERYDRAGICON) X(WM_NCPAINT) X(WM_INITDIALOG) X(WM_COMMAND) X(WM_TIMER)                         \
  X(WM_LBUTTONDOWN) X(WM_RBUTTONDOWN) X(WM_USER) X(IDOK) X(IDCANCEL) X(IDYES) X(IDNO)                \
  X(SW_HIDE) X(SW_SHOWNORMAL) X(SW_SHOWMINIMIZED) X(SW_SHOWMAXIMIZED) X(SW_SHOWNOACTIVATE) X(SW_SHOW) \
  X(SW_MINIMIZE) X(SW_SHOWMINNOACTIVE) X(SW_SHOWNA) X(SW_RESTORE)                                    \
  X(SM_CXICON) X(SM_CYICON) X(SM_CXSMICON) X(SM_CYSMICON)                                            \
  X(MB_OK) X(MB_YESNO) X(MB_ICONQUESTION) X(MB_ICONWARNING) X(MB_SYSTEMMODAL)                        \
  X(REG_NONE) X(REG_SZ) X(REG_EXPAND_SZ) X(REG_BINARY) X(REG_DWORD) X(REG_MULTI_SZ) X(REG_QWORD)     \
  X(INTERNET_FLAG_RELOAD)                                                                             \
  X(SCARD_S_SUCCESS) X(SCARD_E_CANCELLED) X(SCARD_E_INVALID_HANDLE) X(SCARD_E_INVALID_VALUE) X(SCARD_E_PROTO_MISMATCH)    \
  X(SCARD_E_TIMEOUT) X(SCARD_E_UNKNOWN_READER) X(SCARD_E_NO_SMARTCARD) X(SCARD_F_COMM_ERROR)         \
  X(SCARD_E_NO_SERVICE) X(SCARD_E_SERVICE_STOPPED) X(SCARD_E_NO_READERS_AVAILABLE)                    \
  X(SCARD_E_INSUFFICIENT_BUFFER) X(SCARD_SCOPE_USER) X(SCARD_SCOPE_SYSTEM) X(SCARD_SHARE_SHARED)     \
  X(SCARD_PROTOCOL_T0) X(SCARD_PROTOCOL_T1) X(SCARD_LEAVE_CARD) X(SCARD_STATE_UNAWARE)               \
  X(SCARD_STATE_CHANGED) X(SCARD_STATE_UNKNOWN) X(SCARD_STATE_UNAVAILABLE) X(SCARD_STATE_EMPTY)      \
  X(SCARD_STATE_PRESENT)

namespace qarx::win32::sdk {
// The SDK's values, as unsigned 64-bit numbers so that negative HRESULT-style
// codes and unsigned flags compare alike.
#define QARX_KEEP_SDK_VALUE(name) \
  inline constexpr unsigned long long name##_ = static_cast<unsigned long long>(static_cast<unsigned long>(name));
QARX_SDK_SHARED_VALUES(QARX_KEEP_SDK_VALUE)
#undef QARX_KEEP_SDK_VALUE
}  // namespace qarx::win32::sdk

#undef WM_PAINT
#undef WM_QUERYDRAGICON
#undef WM_NCPAINT
#undef WM_INITDIALOG
#undef WM_COMMAND
#undef WM_TIMER
#undef WM_QUERYENDSESSION
#undef WM_ENDSESSION
#undef WM_APP
#undef WM_LBUTTONDOWN
#undef WM_RBUTTONDOWN
#undef WM_USER
#undef IDOK
#undef IDCANCEL
#undef IDYES
#undef IDNO
#undef SW_HIDE
#undef SW_SHOWNORMAL
#undef SW_SHOWMINIMIZED
#undef SW_SHOWMAXIMIZED
#undef SW_SHOWNOACTIVATE
#undef SW_SHOW
#undef SW_MINIMIZE
#undef SW_SHOWMINNOACTIVE
#undef SW_SHOWNA
#undef SW_RESTORE
#undef SM_CXICON
#undef SM_CYICON
#undef SM_CXSMICON
#undef SM_CYSMICON
#undef MB_OK
#undef MB_YESNO
#undef MB_ICONQUESTION
#undef MB_ICONWARNING
#undef MB_SYSTEMMODAL
#undef REG_NONE
#undef REG_SZ
#undef REG_EXPAND_SZ
#undef REG_BINARY
#undef REG_DWORD
#undef REG_MULTI_SZ
#undef REG_QWORD
#undef INTERNET_FLAG_RELOAD
#undef SCARD_S_SUCCESS
#undef SCARD_E_CANCELLED
#undef SCARD_E_INVALID_HANDLE
#undef SCARD_E_INVALID_VALUE
#undef SCARD_E_PROTO_MISMATCH
#undef SCARD_E_TIMEOUT
#undef SCARD_E_UNKNOWN_READER
#undef SCARD_E_NO_SMARTCARD
#undef SCARD_F_COMM_ERROR
#undef SCARD_E_NO_SERVICE
#undef SCARD_E_SERVICE_STOPPED
#undef SCARD_E_NO_READERS_AVAILABLE
#undef SCARD_E_INSUFFICIENT_BUFFER
#undef SCARD_SCOPE_USER
#undef SCARD_SCOPE_SYSTEM
#undef SCARD_SHARE_SHARED
#undef SCARD_PROTOCOL_T0
#undef SCARD_PROTOCOL_T1
#undef SCARD_LEAVE_CARD
#undef SCARD_STATE_UNAWARE
#undef SCARD_STATE_CHANGED
#undef SCARD_STATE_UNKNOWN
#undef SCARD_STATE_UNAVAILABLE
#undef SCARD_STATE_EMPTY
#undef SCARD_STATE_PRESENT

// Functions the SDK renames to their A/W forms; the ports declare methods of
// these names. Adapters call the W forms explicitly.
#undef MessageBox
#undef PostMessage
#undef CreateFile
#undef DeleteFile
#undef GetTempPath
#undef GetVersionEx
#undef GetSystemDirectory
#undef PathFileExists
