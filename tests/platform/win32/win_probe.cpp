// The real Win32 adapters driven from the command line, for tests that need
// a fresh process (a Windows version set per program) or a server the test
// script runs:
//   qarx_win_probe os-line                the operating-system log line
//   qarx_win_probe version                the version record: "platform major.minor product suite"
//   qarx_win_probe fetch URL NAME         FetchToTemp: "result=N size=BYTES|absent path=PATH"
//   qarx_win_probe end-service            sets the service's exit event: "set", or "absent" (status 1)
//   qarx_win_probe swap PATH              tries to overwrite the file, then to delete it, as another
//                                         program of the user would: "overwrite=ok|denied delete=ok|denied"
//   qarx_win_probe taskbar-created        broadcasts the shell's "TaskbarCreated", as a restarted Explorer does
//   qarx_win_probe post-bogus             posts the service dialog's private messages with values no part of
//                                         the service sends, then button 1000's click: "posted"
//   qarx_win_probe end-session            the sign-out's messages to the service dialog: "query=N" (the
//                                         answer to WM_QUERYENDSESSION)
// Output is UTF-8, one line.
#include "platform/win32/windows_sdk.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "common/qarx_types.h"
#include "common/text.h"
#include "download/temp_fetch.h"
#include "download/temp_files.h"
#include "platform/os.h"
#include "platform/win32/win32_ports.h"
#include "probes/os_name.h"

namespace {

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

std::string FileState(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(reinterpret_cast<const wchar_t*>(path.c_str()), GetFileExInfoStandard, &data))
    return "absent";
  const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return std::to_string(size);
}

}  // namespace

int main(int argc, char** argv) {
  qarx::os::PrepareProcess();
  const auto os = qarx::os::MakePlatform();
  qarx::Platform platform = os->Bundle(nullptr);
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "os-line" && argc == 2) {
    std::atomic<int32_t> major{0};
    Print(qarx::ToUtf8(qarx::OsInfoLine(*platform.system, major)));
    return 0;
  }
  if (command == "version" && argc == 2) {
    qarx::OsVersionRecord v;
    if (!platform.system->GetVersionEx(true, v)) return 1;
    Print(std::to_string(v.dwPlatformId) + " " + std::to_string(v.dwMajorVersion) + "." +
          std::to_string(v.dwMinorVersion) + " " + std::to_string(v.wProductType) + " " + std::to_string(v.wSuiteMask));
    return 0;
  }
  if (command == "fetch" && argc == 4) {
    const std::u16string name = qarx::FromUtf8(argv[3]);
    const int32_t result = qarx::FetchToTemp(platform, name, qarx::FromUtf8(argv[2]));
    std::u16string path;
    qarx::TempFilePath(platform, name, path);
    Print("result=" + std::to_string(result) + " size=" + FileState(path) + " path=" + qarx::ToUtf8(path));
    return 0;
  }
  if (command == "end-service" && argc == 2) {
    // What the uninstaller does to end a running service.
    const qarx::win32::Handle event(
        OpenEventW(EVENT_MODIFY_STATE, FALSE, L"the Exit Event of the Veltrane IC Card Terminal Server!"));
    if (!event || !SetEvent(event.get())) {
      Print("absent");
      return 1;
    }
    Print("set");
    return 0;
  }
  if (command == "swap" && argc == 3) {
    const std::wstring path(reinterpret_cast<const wchar_t*>(qarx::FromUtf8(argv[2]).c_str()));
    qarx::win32::Handle writer(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                               FILE_SHARE_DELETE, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool deleted = DeleteFileW(path.c_str()) != 0;
    Print(std::string("overwrite=") + (writer ? "ok" : "denied") + " delete=" + (deleted ? "ok" : "denied"));
    return 0;
  }
  if (command == "taskbar-created" && argc == 2) {
    const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    Print(PostMessageW(HWND_BROADCAST, message, 0, 0) ? "posted" : "failed");
    return 0;
  }
  if ((command == "post-bogus" || command == "end-session") && argc == 2) {
    HWND dialog = FindWindowW(L"#32770", L"VeltraneIC卡互联网终端服务程序");
    if (!dialog) {
      Print("no dialog");
      return 1;
    }
    if (command == "post-bogus") {
      // WM_DOWNLOAD_REQUEST (1125) naming no dialog or another one, and
      // WM_READER_EVENT (1224) arrivals naming no reader slot.
      for (WPARAM bogus : {WPARAM{0}, WPARAM{1}, reinterpret_cast<WPARAM>(&dialog)})
        PostMessageW(dialog, 1125, bogus, 3);
      for (LPARAM bogus : {LPARAM{0}, LPARAM{8}, static_cast<LPARAM>(0x7ffe0000), reinterpret_cast<LPARAM>(&dialog)})
        PostMessageW(dialog, 1224, 0, bogus);
      PostMessageW(dialog, qarx::WM_COMMAND, 1000, 0);
      Print("posted");
      return 0;
    }
    const LRESULT query = SendMessageW(dialog, qarx::WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    Print("query=" + std::to_string(query));
    SendMessageW(dialog, qarx::WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    return 0;
  }
  std::fputs("usage: qarx_win_probe os-line | version | fetch URL NAME | end-service | swap PATH | taskbar-created |"
             " post-bogus | end-session\n", stderr);
  return 2;
}
