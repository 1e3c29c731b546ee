// Process-level facts of the Windows program.
#include "platform/win32/windows_sdk.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "common/text.h"
#include "platform/os.h"
#include "platform/win32/win32_ports.h"

namespace qarx::os {

namespace {

// The program is a windows-subsystem one (no console window at log-on).
// Started from a console with a stream not redirected, it borrows the
// parent's console for that stream, so the console front-end works there.
void BorrowParentConsole() {
  const bool in = GetStdHandle(STD_INPUT_HANDLE) != nullptr;
  const bool out = GetStdHandle(STD_OUTPUT_HANDLE) != nullptr;
  const bool err = GetStdHandle(STD_ERROR_HANDLE) != nullptr;
  if ((in && out && err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!in) (void)std::freopen("CONIN$", "rb", stdin);
  if (!out) (void)std::freopen("CONOUT$", "wb", stdout);
  if (!err) (void)std::freopen("CONOUT$", "wb", stderr);
}

}  // namespace

void PrepareProcess() {
  BorrowParentConsole();
  // Lines are UTF-8 bytes and end in "\n" exactly: no translation on the
  // way out, and a console shows them in UTF-8.
  for (FILE* stream : {stdout, stderr}) _setmode(_fileno(stream), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

bool HasDisplay() { return true; }

void DebugLine(std::string_view utf8) {
  const std::u16string line = FromUtf8(std::string(utf8) + "\n");
  OutputDebugStringW(win32::Wide(line));
}

std::vector<std::string> Arguments(int, char**) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; wide && i < count; ++i) arguments.push_back(ToUtf8(win32::FromWide(wide[i], std::wcslen(wide[i]))));
  LocalFree(wide);
  return arguments;
}

std::optional<std::string> Environment(const char* name) {
  const std::u16string wideName = FromUtf8(name);
  const DWORD needed = GetEnvironmentVariableW(win32::Wide(wideName), nullptr, 0);
  if (needed <= 1) return std::nullopt;
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(win32::Wide(wideName), value.data(), needed);
  if (length == 0 || length >= needed) return std::nullopt;
  return ToUtf8(win32::FromWide(value.c_str(), length));
}

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
  // "N": not inherited by started programs.
  const std::u16string wideMode = FromUtf8(std::string(mode) + "N");
  return _wfopen(win32::Wide(FromUtf8(utf8Path)), win32::Wide(wideMode));
}

}  // namespace qarx::os
