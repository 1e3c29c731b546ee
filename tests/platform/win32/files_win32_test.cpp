// Files, listings and profile reads over the prefix's real file system.
#include <gtest/gtest.h>

#include <vector>

#include "common/qarx_types.h"
#include "platform/win32/private_folder.h"
#include "support/file_bytes.h"
#include "win32_test_support.h"

namespace qarx::win32 {
namespace {

using test::U;

TEST(FilesWin32, TempFolderAndTheUnsharedFileOfADownload) {
  auto files = MakeFilePort();
  std::u16string temp;
  const uint32_t length = files->GetTempPath(kMaxPath, temp);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(length, temp.size());
  // The user's private folder under the system's temporary folder.
  wchar_t system[MAX_PATH + 1];
  const DWORD systemLength = GetTempPathW(MAX_PATH + 1, system);
  EXPECT_EQ(temp, U(std::wstring(system, systemLength) + L"Qarx\\"));
  // Too small a buffer: the length needed, nothing copied.
  std::u16string tooSmall;
  EXPECT_GT(files->GetTempPath(3, tooSmall), 3u);
  EXPECT_TRUE(tooSmall.empty());

  test::ScratchFolder folder(L"qarx-files");
  const std::u16string path = U(folder.path()) + u"VLT_Terminal_Server.exe";
  folder.Put(L"VLT_Terminal_Server.exe", std::string(5000, 'o'));
  {
    auto file = files->CreateFile(path);  // replaces the old file
    ASSERT_NE(file, nullptr);
    uint32_t written = 0;
    EXPECT_TRUE(file->Write("new", 3, written));
    EXPECT_EQ(written, 3u);
    // While it is written, nobody else opens or deletes it.
    EXPECT_EQ(files->CreateFile(path), nullptr);
    EXPECT_FALSE(files->DeleteFile(path));
  }
  EXPECT_EQ(test::ReadAll(test::W(path)), "new");
  EXPECT_TRUE(files->PathFileExists(path));
  EXPECT_TRUE(files->DeleteFile(path));
  EXPECT_FALSE(files->PathFileExists(path));
  EXPECT_EQ(files->CreateFile(U(folder.path()) + u"no such folder\\x.exe"), nullptr);
}

// The private folder: what it is created with and set to (Wine stores no
// access list for a folder and enforces none, so the descriptor is checked
// as the program hands it to Windows), and something else in its place is
// never used.
TEST(FilesWin32, PrivateFolderIsTheUsersAlone) {
  PrivateSecurity security;
  ASSERT_TRUE(security.ok());
  PSID owner = nullptr;
  BOOL defaulted = TRUE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(security.descriptor(), &owner, &defaulted));
  EXPECT_TRUE(EqualSid(owner, security.user()));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(security.descriptor(), &control, &revision);
  EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from %TEMP%";
  BOOL present = FALSE;
  PACL acl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(security.descriptor(), &present, &acl, &defaulted));
  ASSERT_TRUE(present && acl);
  BYTE systemSid[SECURITY_MAX_SID_SIZE];
  DWORD systemSize = sizeof systemSid;
  ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, systemSid, &systemSize));
  std::vector<std::string> entries;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(acl, i, reinterpret_cast<void**>(&ace)));
    const PSID sid = &ace->SidStart;
    entries.push_back(std::string(EqualSid(sid, owner) ? "user" : EqualSid(sid, systemSid) ? "system" : "other") +
                      (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ? " allowed" : " ?") +
                      (ace->Mask == FILE_ALL_ACCESS ? " all" : " some") +
                      (ace->Header.AceFlags == (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) ? " inherited" : ""));
  }
  EXPECT_EQ(entries, (std::vector<std::string>{"user allowed all inherited", "system allowed all inherited"}));

  // A file where the folder belongs: refused, so nothing is fetched into
  // it or started from it (the caller sees a folder that does not fit).
  auto files = MakeFilePort();
  std::u16string temp;
  ASSERT_LT(files->GetTempPath(kMaxPath, temp), kMaxPath);
  const std::wstring folder = test::W(temp);
  wchar_t system[MAX_PATH + 1];
  const std::wstring base(system, GetTempPathW(MAX_PATH + 1, system));
  const std::wstring moved = base + L"Qarx-moved-" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(MoveFileW(folder.c_str(), moved.c_str()));
  test::ScratchFolder scratch(L"qarx-private");
  const std::wstring impostor = scratch.Put(L"impostor", "not a folder");
  ASSERT_TRUE(MoveFileW(impostor.c_str(), (base + L"Qarx").c_str()));
  std::u16string refused;
  EXPECT_GT(files->GetTempPath(kMaxPath, refused), kMaxPath);
  EXPECT_TRUE(refused.empty());
  DeleteFileW((base + L"Qarx").c_str());
  ASSERT_TRUE(MoveFileW(moved.c_str(), folder.c_str()));
}

// Only a plain folder that the user owns, with the private list in place.
TEST(FilesWin32, PrivateFolderVerdicts) {
  struct Row {
    FolderFacts facts;
    bool usable;
  };
  const Row rows[] = {
      {{true, true, false, true, true}, true},
      {{false, false, false, false, false}, false},  // could not be made or opened
      {{true, false, false, true, true}, false},     // a file
      {{true, true, true, true, true}, false},       // a junction or link to some folder
      {{true, true, false, false, true}, false},     // another user's or the administrators'
      {{true, true, false, true, false}, false},     // its access list could not be set
  };
  for (const Row& row : rows) EXPECT_EQ(FolderIsPrivate(row.facts), row.usable) << &row - rows;
}

// A held file can be read and started, but not written, replaced, renamed
// or deleted, by this process or any other, until it is let go.
TEST(FilesWin32, HeldFileStaysAsItIsAndStillStarts) {
  test::ScratchFolder folder(L"qarx-held");
  const std::wstring program = folder.path() + L"setup.exe";
  ASSERT_TRUE(CopyFileW((test::ProgramFolder() + L"qarx_marker.exe").c_str(), program.c_str(), FALSE));
  auto files = MakeFilePort();
  EXPECT_EQ(files->HoldFile(U(folder.path() + L"absent.exe")), nullptr);
  {
    auto held = files->HoldFile(U(program));
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(files->CreateFile(U(program)), nullptr);
    EXPECT_FALSE(files->DeleteFile(U(program)));
    EXPECT_FALSE(MoveFileW(program.c_str(), (folder.path() + L"other.exe").c_str()));
    HANDLE writer = CreateFileW(program.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(test::ReadAll(program).empty());
    SetEnvironmentVariableW(L"QARX_MARKER_FILE", nullptr);
    EXPECT_EQ(test::RunToEnd(program, L"setup.exe"), 1) << "started (no marker file named: status 1)";
  }
  // A file being written cannot be held.
  {
    auto writing = files->CreateFile(U(program));
    ASSERT_NE(writing, nullptr);
    EXPECT_EQ(files->HoldFile(U(program)), nullptr);
  }
  EXPECT_TRUE(files->DeleteFile(U(program)));
}

TEST(FilesWin32, ListingsOfTheInfFolderKind) {
  test::ScratchFolder folder(L"qarx-find");
  folder.Put(L"usbccid.inf", "x");
  folder.Put(L"PRINTER.INF", "x");
  folder.Put(L"readme.txt", "x");
  auto find = MakeFindPort()->FindFirst(U(folder.path()) + u"*.inf");
  ASSERT_NE(find, nullptr);
  std::vector<std::u16string> names{find->FileName()};
  uint32_t rc = 0;
  while ((rc = find->Next()) == 0) names.push_back(find->FileName());
  EXPECT_EQ(rc, ERROR_NO_MORE_FILES_);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"PRINTER.INF", u"usbccid.inf"}));
  EXPECT_EQ(MakeFindPort()->FindFirst(U(folder.path()) + u"*.sys"), nullptr);
}

TEST(FilesWin32, ProfileReadsUtf16AndAnsiFiles) {
  test::ScratchFolder folder(L"qarx-profile");
  const std::u16string text = u"[Control]\r\nURL=https://h/控件.exe\r\nSize=180\r\n[CCID]\r\nSize=x12\r\n";
  const std::u16string utf16 = U(folder.Put(L"le.ini", qarx::testing::Utf16LeWithBom(text)));
  const std::u16string ansi = U(folder.Put(L"ansi.ini", "[Control]\r\nURL=https://h/a.exe\r\nSize=180\r\n"));
  auto profile = MakeProfilePort();

  std::u16string out;
  EXPECT_EQ(profile->GetString(u"control", u"url", u"", out, 256, utf16), 16u);
  EXPECT_EQ(out, u"https://h/控件.exe");
  EXPECT_EQ(profile->GetString(u"Control", u"URL", u"", out, 256, ansi), 15u);
  EXPECT_EQ(out, u"https://h/a.exe");
  // Cut to the capacity less the terminator; an absent key gives the default.
  EXPECT_EQ(profile->GetString(u"Control", u"URL", u"", out, 6, ansi), 5u);
  EXPECT_EQ(out, u"https");
  EXPECT_EQ(profile->GetString(u"Control", u"Missing", u"", out, 256, ansi), 0u);
  EXPECT_EQ(out, u"");

  EXPECT_EQ(profile->GetInt(u"Control", u"Size", 0, utf16), 180u);
  EXPECT_EQ(profile->GetInt(u"CCID", u"Size", 0, utf16), 0u);  // not a number
  EXPECT_EQ(profile->GetInt(u"CCID", u"Missing", 7, utf16), 7u);
  EXPECT_EQ(profile->GetInt(u"Control", u"Size", 7, U(folder.path()) + u"absent.ini"), 7u);
}

TEST(FilesWin32, AnsiTextAndTheSystemFolder) {
  std::u16string out;
  const uint8_t model[] = {'V', 'L', 'T', '-', 'X', '2'};
  EXPECT_TRUE(MakeTextPort()->AnsiToUtf16(model, sizeof model, out));
  EXPECT_EQ(out, u"VLT-X2");

  std::u16string system;
  const uint32_t length = MakeSystemInfoPort()->GetSystemDirectory(kMaxPath, system);
  EXPECT_EQ(length, system.size());
  EXPECT_EQ(test::W(system).substr(1), std::wstring(L":\\windows\\system32"));
}

}  // namespace
}  // namespace qarx::win32
