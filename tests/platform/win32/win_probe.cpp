// The real Win32 adapters driven from the command line, for tests that need
// a fresh process (a Windows version set per program) or a server the test
// script runs:
//   qarx_win_probe os-line                the operating-system log line
//   qarx_win_probe version                the version record: "platform major.minor product suite"
//   qarx_win_probe fetch URL NAME         FetchToTemp: "result=N size=BYTES|absent path=PATH"
//   qarx_win_probe end-service            sets the service's exit event: "set", or "absent" (status 1)
//   qarx_win_probe swap PATH              tries to overwrite the file, then to delete it, as another
//                                         program of the user would: "overwrite=ok|denied delete=ok|denied"
// Output is UTF-8, one line.
#include "platform/win32/windows_sdk.h"

#include <atomic>
#include <cstdio>
#include <string>

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
  std::fputs("usage: qarx_win_probe os-line | version | fetch URL NAME | end-service | swap PATH\n", stderr);
  return 2;
}
