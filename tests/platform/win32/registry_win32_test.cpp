// The registry adapter over the prefix's real registry: the sizes, types
// and codes the probes rely on.
#include <gtest/gtest.h>

#include "win32_test_support.h"

namespace qarx::win32 {
namespace {

using test::W;

class RegistryWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hkey_,
                              nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(hkey_);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key_.c_str());
  }
  void SetString(const wchar_t* name, const std::wstring& text, DWORD type = 1) {
    RegSetValueExW(hkey_, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  void SetDword(const wchar_t* name, DWORD value) {
    RegSetValueExW(hkey_, name, 0, 4, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }

  const std::wstring key_ = L"SOFTWARE\\Qarx Adapter Test " + std::to_wstring(GetCurrentProcessId());
  HKEY hkey_ = nullptr;
  std::unique_ptr<RegistryPort> registry_ = MakeRegistryPort();
};

TEST_F(RegistryWin32, ValuesComeWithTheirTypesSizesAndCodes) {
  SetString(L"Version", L"1.0.0.2");
  SetString(L"", L"默认");
  SetString(L"Expand", L"%SystemRoot%", 2);
  SetString(L"Long", std::wstring(200, L'x'));
  SetDword(L"Installed", 1);

  // Key names ignore case and may end with a backslash.
  std::u16string path = test::U(key_);
  for (auto& c : path) c = static_cast<char16_t>(c >= u'a' && c <= u'z' ? c - 32 : c);
  auto key = registry_->Open(RegRoot::LocalMachine, path + u"\\");
  ASSERT_NE(key, nullptr);

  struct Row {
    std::u16string name;
    long code;
    uint32_t type;
    uint32_t size;
  };
  const Row rows[] = {
      {u"Version", 0, REG_SZ, 16},       {u"VERSION", 0, REG_SZ, 16},       {u"", 0, REG_SZ, 6},
      {u"Expand", 0, REG_EXPAND_SZ, 26}, {u"Installed", 0, REG_DWORD, 4},
      {u"Long", ERROR_MORE_DATA_, REG_SZ, 402},  // did not fit in 256 bytes: the length needed
  };
  for (const Row& row : rows) {
    uint8_t data[256] = {};
    uint32_t size = sizeof data;
    uint32_t type = 99;
    EXPECT_EQ(key->QueryValue(row.name, data, size, type), row.code) << test::W(row.name).size();
    EXPECT_EQ(type, row.type);
    EXPECT_EQ(size, row.size);
  }

  uint8_t data[256];
  uint32_t size = sizeof data;
  uint32_t type = 0;
  EXPECT_EQ(key->QueryValue(u"Missing", data, size, type), ERROR_FILE_NOT_FOUND_);
  // No buffer: only the length.
  size = 0;
  EXPECT_EQ(key->QueryValue(u"Version", nullptr, size, type), ERROR_SUCCESS_);
  EXPECT_EQ(size, 16u);
}

// On 64-bit Windows the components' installers, 32-bit programs, write
// their keys into the 32-bit view; a key only in the 64-bit view is not
// theirs. (On 32-bit Windows there is one view, and both writes land in it.)
TEST_F(RegistryWin32, KeysAreReadInThe32BitView) {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    const std::wstring path = key_ + (view == KEY_WOW64_32KEY ? L"\\View32" : L"\\View64");
    HKEY written = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                              &written, nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    RegSetValueExW(written, L"Installed", 0, 4, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegCloseKey(written);
    const bool seen = registry_->Open(RegRoot::LocalMachine, test::U(path)) != nullptr;
    EXPECT_EQ(seen, view == KEY_WOW64_32KEY || !wow64) << (view == KEY_WOW64_32KEY ? "32" : "64");
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
    if (view == KEY_WOW64_64KEY) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), view, 0);
  }
}

TEST_F(RegistryWin32, MissingKeysAndTheClassesRoot) {
  EXPECT_EQ(registry_->Open(RegRoot::LocalMachine, test::U(key_) + u"\\Absent"), nullptr);
  // Every prefix has a handler for http: the browser probe's key.
  auto http = registry_->Open(RegRoot::ClassesRoot, u"http\\shell\\open\\command\\");
  ASSERT_NE(http, nullptr);
  uint8_t data[256];
  uint32_t size = sizeof data;
  uint32_t type = 0;
  EXPECT_EQ(http->QueryValue(u"", data, size, type), ERROR_SUCCESS_);
  EXPECT_GT(size, 2u);
}

}  // namespace
}  // namespace qarx::win32
