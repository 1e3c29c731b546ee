// Files, listings and profile reads over the prefix's real file system.
#include <gtest/gtest.h>

#include "common/qarx_types.h"
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
  EXPECT_EQ(temp.back(), u'\\');
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
