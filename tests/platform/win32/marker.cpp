// A harmless program for launch tests: appends the path it was started from,
// its command line, its current folder and whether the DLL named by
// QARX_MARKER_DLL could be loaded ("loaded", "absent", or "-" when none is
// named: a stand-in for an installer that would load a planted DLL) to the
// file named by QARX_MARKER_FILE, as one line "path|command line|folder|dll",
// then ends.
#include "platform/win32/windows_sdk.h"

#include <cwchar>
#include <string>

int main() {
  wchar_t marker[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"QARX_MARKER_FILE", marker, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  wchar_t dll[MAX_PATH];
  const DWORD dllLength = GetEnvironmentVariableW(L"QARX_MARKER_DLL", dll, MAX_PATH);
  const wchar_t* loaded = L"-";
  if (dllLength > 0 && dllLength < MAX_PATH) loaded = LoadLibraryW(dll) ? L"loaded" : L"absent";
  const std::wstring line =
      std::wstring(self) + L"|" + GetCommandLineW() + L"|" + folder + L"|" + loaded + L"\r\n";
  // Several starts may end at once: append under the file's own lock.
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      Sleep(10);
      continue;
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), bytes, nullptr,
                        nullptr);
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
  }
  return 1;
}
