// The Linux sources of the Windows facts: registry.reg, os-version.ini and
// the drive_c folder of a QARX_WINDOWS_ROOT.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/text.h"
#include "platform/linux/linux_ports.h"

namespace qarx::linux_port {
namespace {

namespace fs = std::filesystem;

class WindowsRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("qarx-winroot-" + std::to_string(getpid()));
    fs::create_directories(root_);
    setenv("QARX_WINDOWS_ROOT", root_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QARX_WINDOWS_ROOT");
    fs::remove_all(root_);
  }
  void Put(const std::string& relative, const std::string& bytes) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative, std::ios::binary) << bytes;
  }
  fs::path root_;
};

using RegistryFile = WindowsRoot;

TEST_F(RegistryFile, KeysAndValuesComeFromTheExport) {
  auto registry = MakeRegistryPort();
  EXPECT_EQ(registry->Open(RegRoot::LocalMachine, u"SOFTWARE\\Q\\"), nullptr);  // no file yet
  Put("registry.reg",
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Q]\r\n\"Installed\"=dword:00000001\r\n\"Dir\"=\"C:\\\\旧\"\r\n");
  auto key = registry->Open(RegRoot::LocalMachine, u"software\\q\\");
  ASSERT_NE(key, nullptr);
  uint8_t data[256];
  uint32_t size = sizeof(data);
  uint32_t type = 0;
  ASSERT_EQ(key->QueryValue(u"installed", data, size, type), 0);
  EXPECT_EQ(type, 4u);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(data[0], 1);
  size = sizeof(data);
  ASSERT_EQ(key->QueryValue(u"Dir", data, size, type), 0);
  EXPECT_EQ(size, 10u);  // C : \ 旧 and the terminator, two bytes each
  EXPECT_EQ(data[6] | (data[7] << 8), 0x65E7);
  size = 4;
  EXPECT_EQ(key->QueryValue(u"Dir", data, size, type), 234);
  EXPECT_EQ(key->QueryValue(u"Missing", data, size, type), 2);
}

TEST_F(RegistryFile, AnOpenKeyOutlivesAnEditOfTheFile) {
  auto registry = MakeRegistryPort();
  Put("registry.reg", "Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\http]\n@=\"old\"\n");
  auto key = registry->Open(RegRoot::ClassesRoot, u"HTTP");
  ASSERT_NE(key, nullptr);
  Put("registry.reg", "Windows Registry Editor Version 5.00\n");
  EXPECT_EQ(registry->Open(RegRoot::ClassesRoot, u"HTTP"), nullptr);
  uint8_t data[256];
  uint32_t size = sizeof(data);
  uint32_t type = 0;
  EXPECT_EQ(key->QueryValue(u"", data, size, type), 0);
  EXPECT_EQ(size, 8u);
}

using SystemInfoFile = WindowsRoot;

TEST_F(SystemInfoFile, NoFileMakesBothVersionReadsFail) {
  auto system = MakeSystemInfoPort();
  OsVersionRecord record;
  EXPECT_FALSE(system->GetVersionEx(true, record));
  EXPECT_FALSE(system->GetVersionEx(false, record));
  std::u16string folder;
  EXPECT_EQ(system->GetSystemDirectory(256, folder), 19u);
  EXPECT_EQ(folder, u"C:\\windows\\system32");
  EXPECT_EQ(system->GetSystemDirectory(19, folder), 20u);
  EXPECT_EQ(folder, u"");
}

TEST_F(SystemInfoFile, ReadsTheVersionFacts) {
  Put("os-version.ini",
      "[Version]\nPlatformId=2\nMajorVersion=5\nMinorVersion=2\nSuiteMask=0x2000\nProductType=1\n"
      "ProcessorArchitecture=9\nServerR2=1\n");
  auto system = MakeSystemInfoPort();
  OsVersionRecord record;
  ASSERT_TRUE(system->GetVersionEx(true, record));
  EXPECT_EQ(record.dwPlatformId, 2u);
  EXPECT_EQ(record.dwMajorVersion, 5u);
  EXPECT_EQ(record.dwMinorVersion, 2u);
  EXPECT_EQ(record.wSuiteMask, 0x2000);
  EXPECT_EQ(record.wProductType, 1);
  EXPECT_EQ(system->GetProcessorArchitecture(system->HasNativeSystemInfo()), 9);
  EXPECT_EQ(system->GetSystemMetrics(89), 1);
  EXPECT_EQ(system->GetSystemMetrics(0), 0);
}

TEST_F(SystemInfoFile, ExtendedRecordZeroLeavesOnlyThePlainRead) {
  Put("os-version.ini", "[Version]\nPlatformId=2\nMajorVersion=6\nMinorVersion=0\nProductType=1\nExtendedRecord=0\n");
  auto system = MakeSystemInfoPort();
  OsVersionRecord record;
  EXPECT_FALSE(system->GetVersionEx(true, record));
  ASSERT_TRUE(system->GetVersionEx(false, record));
  EXPECT_EQ(record.dwMajorVersion, 6u);
  EXPECT_EQ(record.wProductType, 0);
}

using FindFiles = WindowsRoot;

TEST_F(FindFiles, ListsMatchingNamesWithoutCaseInNameOrder) {
  for (const char* name : {"b.inf", "A.INF", "c.txt", "d.inf.bak", "Usbccid.Inf"}) Put(std::string("drive_c/windows/inf/") + name, "");
  auto find = MakeFindPort();
  auto listing = find->FindFirst(u"C:\\windows\\inf\\*.inf");
  ASSERT_NE(listing, nullptr);
  std::vector<std::u16string> names{listing->FileName()};
  uint32_t error = 0;
  while ((error = listing->Next()) == 0) names.push_back(listing->FileName());
  EXPECT_EQ(error, 18u);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"A.INF", u"b.inf", u"Usbccid.Inf"}));
  EXPECT_EQ(listing->Next(), 18u);
}

TEST_F(FindFiles, NoMatchOrNoFolderCannotStart) {
  Put("drive_c/windows/inf/readme.txt", "");
  auto find = MakeFindPort();
  EXPECT_EQ(find->FindFirst(u"C:\\windows\\inf\\*.inf"), nullptr);
  EXPECT_EQ(find->FindFirst(u"C:\\nowhere\\*.inf"), nullptr);
  Put("drive_c/windows/inf/x1y.inf", "");
  EXPECT_NE(find->FindFirst(u"C:\\windows\\inf\\x?y.*"), nullptr);
  EXPECT_EQ(find->FindFirst(u"C:\\windows\\inf\\x?.inf"), nullptr);
}

}  // namespace
}  // namespace qarx::linux_port
