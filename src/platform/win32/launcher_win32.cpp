// LauncherPort on Windows. A program is started by its exact path:
// CreateProcessW with the path as the application name, so nothing is parsed
// out of it ("C:\Program Files\x.exe" never becomes "C:\Program.exe"), and
// the quoted path as its command line. URLs open with ShellExecuteW.
#include "platform/win32/windows_sdk.h"

#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

constexpr uint32_t kStarted = 33;  // any value of 32 or more means started

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

class Win32Launcher final : public LauncherPort {
 public:
  uint32_t Execute(const std::u16string& path, int showCode) override {
    std::wstring commandLine = L"\"" + std::wstring(Wide(path)) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCode);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(Wide(path), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
      return LauncherValue(GetLastError());
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return kStarted;
  }

  bool OpenUrl(const std::u16string& url, int showCode) override {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(GetDesktopWindow(), L"open", Wide(url), nullptr, nullptr, showCode));
    return result > 32;
  }
};

}  // namespace

std::unique_ptr<LauncherPort> MakeLauncherPort() { return std::make_unique<Win32Launcher>(); }

}  // namespace qarx::win32
