// LauncherPort on Windows. A program is started by its exact path:
// CreateProcessW with the path as the application name, so nothing is parsed
// out of it ("C:\Program Files\x.exe" never becomes "C:\Program.exe"), and
// the quoted path as its command line. Its current folder is its own, so a
// DLL lying in the folder we were started from is never found by it.
//
// Installers whose manifest asks for administrator rights cannot be started
// by CreateProcessW from a process without them: with UAC on, it fails with
// ERROR_ELEVATION_REQUIRED. Such a program is started again through
// ShellExecuteExW ("open", the same path, no arguments, the same show code),
// which shows Windows' consent dialog; a refusal (ERROR_CANCELLED) and every
// other failure mean "not started". URLs open with ShellExecuteW.
#include "platform/win32/windows_sdk.h"

#include "platform/win32/error_text.h"
#include "platform/win32/program_start.h"
#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

constexpr uint32_t kStarted = 33;  // any value of 32 or more means started
// "The requested operation requires elevation" (winerror.h of the Windows
// SDK; mingw-w64's lacks it).
constexpr DWORD kElevationRequired = 740;

// WinExec's values for the failures.
uint32_t LauncherValue(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return 2;
    case ERROR_PATH_NOT_FOUND: return 3;
    case ERROR_ACCESS_DENIED: return 5;
    case ERROR_BAD_EXE_FORMAT: return 11;
    default: return 0;
  }
}

// The folder part of a full path ("C:\" for a file at the root), or empty.
std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return {};
  std::wstring folder = path.substr(0, slash);
  if (folder.empty() || folder.back() == L':') folder += L'\\';
  return folder;
}

const wchar_t* OrNull(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

DWORD CreateProcessAt(const std::wstring& path, const std::wstring& folder, int showCode) {
  std::wstring commandLine = L"\"" + path + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCode);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, OrNull(folder),
                      &startup, &process))
    return GetLastError();
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ERROR_SUCCESS;
}

// The shell's "open", with COM ready on this thread as the shell expects.
// It returns once the program started or the user refused consent
// (SEE_MASK_NOASYNC: the calling job may end right after). The consent dialog
// is placed over the window in front, where the user just answered our
// question, rather than blinking in the taskbar.
DWORD ShellOpen(const std::wstring& path, const std::wstring& folder, int showCode) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC;
  info.hwnd = GetForegroundWindow();
  info.lpVerb = L"open";
  info.lpFile = path.c_str();
  info.lpParameters = nullptr;
  info.lpDirectory = OrNull(folder);
  info.nShow = showCode;
  const DWORD error = ShellExecuteExW(&info) ? ERROR_SUCCESS : GetLastError();
  if (SUCCEEDED(com)) CoUninitialize();
  return error;
}

class Win32Launcher final : public LauncherPort {
 public:
  uint32_t Execute(const std::u16string& path, int showCode) override {
    return StartProgram(SystemStartCalls(), std::wstring(Wide(path)), showCode);
  }

  uint32_t ExecuteWithCause(const std::u16string& path, int showCode, std::string& cause) override {
    unsigned long error = ERROR_SUCCESS;
    const uint32_t value = StartProgram(SystemStartCalls(), std::wstring(Wide(path)), showCode, &error);
    cause = error == ERROR_SUCCESS ? std::string() : WindowsErrorText(error);
    return value;
  }

  bool OpenUrl(const std::u16string& url, int showCode) override {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(GetDesktopWindow(), L"open", Wide(url), nullptr, nullptr, showCode));
    return result > 32;
  }
};

}  // namespace

StartCalls SystemStartCalls() { return {&CreateProcessAt, &ShellOpen}; }

uint32_t StartProgram(const StartCalls& calls, const std::wstring& path, int showCode, unsigned long* error) {
  const std::wstring folder = FolderOf(path);
  DWORD result = calls.createProcess(path, folder, showCode);
  if (result == kElevationRequired) result = calls.shellOpen(path, folder, showCode);
  if (error) *error = result;
  return result == ERROR_SUCCESS ? kStarted : LauncherValue(result);
}

std::unique_ptr<LauncherPort> MakeLauncherPort() { return std::make_unique<Win32Launcher>(); }

}  // namespace qarx::win32
