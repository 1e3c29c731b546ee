// Named mutexes, starting programs, and the version facts a program sees,
// over real processes of the prefix.
#include <gtest/gtest.h>

#include <cwchar>
#include <map>

#include "common/qarx_types.h"
#include "platform/win32/program_start.h"
#include "support/wait_until.h"
#include "win32_test_support.h"

namespace qarx::win32 {
namespace {

using test::U;
using test::W;

TEST(MutexWin32, ExistingNamesAndOwnership) {
  auto mutexes = MakeMutexPort();
  const std::u16string name = u"qarx adapter test " + U(std::to_wstring(GetCurrentProcessId()));
  bool existed = true;
  auto first = mutexes->Create(name, true, existed);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(existed);
  auto second = mutexes->Create(name, true, existed);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(existed);
  EXPECT_TRUE(first->Release());
  EXPECT_FALSE(first->Release());  // no longer owned
  EXPECT_TRUE(second->Wait());
  EXPECT_TRUE(second->Release());
  first.reset();
  second.reset();
  // Every handle closed: the name is free again.
  auto again = mutexes->Create(name, false, existed);
  EXPECT_FALSE(existed);
}

// The installer at a path with spaces starts, not "C:\Program.exe" in front
// of it; a missing program gives WinExec's file-not-found value.
TEST(LauncherWin32, StartsTheExactPathNextToADecoy) {
  test::ScratchFolder folder(L"qarx-launch");
  const std::wstring marker = folder.path() + L"markers.txt";
  SetEnvironmentVariableW(L"QARX_MARKER_FILE", marker.c_str());
  const std::wstring markerProgram = test::ProgramFolder() + L"qarx_marker.exe";
  const std::wstring spaced = folder.path() + L"Program Files";
  CreateDirectoryW(spaced.c_str(), nullptr);
  const std::wstring decoy = folder.path() + L"Program.exe";
  const std::wstring target = spaced + L"\\Setup 1.exe";
  ASSERT_TRUE(CopyFileW(markerProgram.c_str(), decoy.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(markerProgram.c_str(), target.c_str(), FALSE));

  auto launcher = MakeLauncherPort();
  EXPECT_GE(launcher->Execute(U(target), SW_SHOW), 32u);
  // The marker program writes one line and ends; wait for that line (a
  // program starts slowly under Wine).
  std::string lines;
  qarx::testing::WaitUntil(
      [&] {
        lines = test::ReadAll(marker);
        return lines.find('\n') != std::string::npos;
      },
      std::chrono::seconds(30));
  std::string expected;
  for (wchar_t c : target) expected.push_back(static_cast<char>(c));
  EXPECT_EQ(lines.substr(0, lines.find('|')), expected);
  EXPECT_NE(lines.find("|\"" + expected + "\"|"), std::string::npos) << lines;
  // It runs in its own folder, not in ours.
  std::string folderText;
  for (wchar_t c : spaced) folderText.push_back(static_cast<char>(c));
  EXPECT_NE(lines.find("|" + folderText + "|-"), std::string::npos) << lines;

  EXPECT_EQ(launcher->Execute(U(folder.path() + L"absent.exe"), SW_SHOW), 2u);
  SetEnvironmentVariableW(L"QARX_MARKER_FILE", nullptr);
}

// Wine never asks for consent, so the decision is driven with the answers
// Windows gives: ERROR_ELEVATION_REQUIRED (740) for a program whose manifest
// asks for administrator rights, then from the shell's start success, or
// ERROR_CANCELLED (1223) when the user refuses consent.
TEST(LauncherWin32, AsksForConsentOnlyWhenAdministratorRightsAreRequired) {
  struct Row {
    unsigned long created, shellOpened;
    uint32_t value;
    bool throughShell;
  };
  const Row rows[] = {
      {0, 99, 33, false},   {740, 0, 33, true},  {740, 1223, 0, true}, {740, 2, 2, true},
      {740, 740, 0, true},  {2, 99, 2, false},   {5, 99, 5, false},    {1223, 99, 0, false},
  };
  for (const Row& row : rows) {
    std::vector<std::wstring> calls;
    StartCalls fake{[&](const std::wstring& path, const std::wstring& folder, int show) {
                      calls.push_back(L"create " + path + L" in " + folder + L" " + std::to_wstring(show));
                      return row.created;
                    },
                    [&](const std::wstring& path, const std::wstring& folder, int show) {
                      calls.push_back(L"shell " + path + L" in " + folder + L" " + std::to_wstring(show));
                      return row.shellOpened;
                    }};
    EXPECT_EQ(StartProgram(fake, L"C:\\Temp\\Qarx\\setup.exe", SW_SHOW), row.value) << row.created;
    std::vector<std::wstring> expected{L"create C:\\Temp\\Qarx\\setup.exe in C:\\Temp\\Qarx 5"};
    if (row.throughShell) expected.push_back(L"shell C:\\Temp\\Qarx\\setup.exe in C:\\Temp\\Qarx 5");
    EXPECT_EQ(calls, expected);
  }
  // A program at the root of a drive starts in the root.
  std::wstring folder;
  StartCalls root{[&](const std::wstring&, const std::wstring& f, int) { return folder = f, 0ul; }, nullptr};
  StartProgram(root, L"D:\\setup.exe", SW_SHOW);
  EXPECT_EQ(folder, L"D:\\");
}

// The operating-system line under the versions Wine can pretend to be, each
// set for the probe program alone. Rows are keyed by the version record the
// program saw ("platform major.minor product-type"): Wine 8.0 gives win7 the
// server product type and win2008r2 the workstation one, and without a
// compatibility manifest Windows 8 and later report 6.2, as Windows does.
// The 5.2 workstation row reads the native processor: under WoW64 (a 64-bit
// prefix) this 32-bit program sees AMD64 there, on 32-bit Windows x86.
TEST(SystemInfoWin32, OsLineFollowsTheWindowsVersion) {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  std::map<std::string, std::string> expected = {
      {"2 6.1 1", "系统信息为:Windows 7!"},
      {"2 6.1 3", "系统信息为:Windows Server 2008 R2!"},
      {"2 6.0 1", "系统信息为:Windows Vista!"},
      {"2 6.0 3", "系统信息为:Windows Server 2008!"},
      {"2 5.2 3", "系统信息为:Windows Server 2003!"},
      {"2 5.2 1", "系统信息为:Windows XP Professional x64 Edition!"},
      {"2 6.2 1", "系统信息获取失败!"},
  };
  if (!wow64) expected["2 5.2 1"] = "系统信息为:Windows Server 2003!";
  const wchar_t* versions[] = {L"win7", L"win2008r2", L"vista", L"win2008", L"win2003", L"winxp64", L"win10"};
  const std::wstring probe = test::ProgramFolder() + L"qarx_win_probe.exe";
  const std::wstring appKey = L"Software\\Wine\\AppDefaults\\qarx_win_probe.exe";
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring shell = std::wstring(system) + L"\\cmd.exe";
  test::ScratchFolder folder(L"qarx-os");

  // What the probe program prints, run through the shell to catch its output.
  auto run = [&](const std::wstring& what, const std::wstring& version) {
    const std::wstring out = folder.path() + version + L"-" + what + L".txt";
    EXPECT_EQ(test::RunToEnd(shell, L"cmd.exe /c \"\"" + probe + L"\" " + what + L" > \"" + out + L"\"\""), 0);
    std::string text = test::ReadAll(out);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  };

  std::map<std::string, std::string> seen;
  for (const wchar_t* version : versions) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, appKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Version", 0, 1, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>((std::wcslen(version) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    std::string record = run(L"version", version);
    record = record.substr(0, record.rfind(' '));  // the suite mask does not matter here
    seen[record] = run(L"os-line", version);
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, appKey.c_str());
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace qarx::win32
