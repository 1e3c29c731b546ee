#include <gtest/gtest.h>

#include "app/qarx_service_dlg.h"
#include "probes/os_name.h"
#include "support/probe_bed.h"

namespace qarx {
namespace {

using testing::FakeSystemInfo;
using testing::ProbeBed;

struct OsCase {
  const char* label;
  uint32_t platformId, major, minor;
  uint16_t suite;
  uint8_t product;
  uint16_t nativeArch;
  int serverR2;
  int32_t status;
  const char16_t* name;  // null: the name is left as it was
  int32_t majorWritten;  // -1: not written
};

class OsNameTable : public ::testing::TestWithParam<OsCase> {};

TEST_P(OsNameTable, PicksTheRowAndWritesOnlyWhatItGives) {
  const OsCase& c = GetParam();
  FakeSystemInfo system;
  system.version = {c.platformId, c.major, c.minor, c.suite, c.product};
  system.nativeArchitecture = c.nativeArch;
  system.serverR2 = c.serverR2;

  std::u16string name = u"untouched";
  int32_t length = -7;
  std::atomic<int32_t> major{-1};
  EXPECT_EQ(QueryOsName(system, name, length, major), c.status);
  if (c.name) {
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(length, static_cast<int32_t>(std::u16string(c.name).size()));
  } else {
    EXPECT_EQ(name, u"untouched");
    EXPECT_EQ(length, -7);
  }
  EXPECT_EQ(major.load(), c.majorWritten);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OsNameTable,
    ::testing::Values(
        OsCase{"Win7", 2, 6, 1, 0, 1, 9, 0, 0, u"Windows 7", 6},
        OsCase{"Server2008R2", 2, 6, 1, 0, 3, 9, 0, 0, u"Windows Server 2008 R2", 6},
        OsCase{"Vista", 2, 6, 0, 0, 1, 0, 0, 0, u"Windows Vista", 6},
        OsCase{"Server2008", 2, 6, 0, 0, 2, 0, 0, 0, u"Windows Server 2008", 6},
        OsCase{"Win8FailsButWritesMajor", 2, 6, 2, 0, 1, 9, 0, -1, nullptr, 6},
        OsCase{"Win81FailsButWritesMajor", 2, 6, 3, 0, 1, 9, 0, -1, nullptr, 6},
        OsCase{"Server2003R2FlagFirst", 2, 5, 2, 0x2000, 3, 0, 1, 0, u"Windows Server 2003 R2", 5},
        OsCase{"StorageServer", 2, 5, 2, 0x2000, 3, 0, 0, 0, u"Windows Storage Server 2003", 5},
        OsCase{"HomeServer", 2, 5, 2, 0x8000, 3, 0, 0, 0, u"Windows Home Server", 5},
        OsCase{"SuiteMaskIsEqualityNotBitTest", 2, 5, 2, 0x2010, 3, 0, 0, 0, u"Windows Server 2003", 5},
        OsCase{"SuiteMaskExtraBitThenXp64", 2, 5, 2, 0x2010, 1, 9, 0, 0,
               u"Windows XP Professional x64 Edition", 5},
        OsCase{"XpX64", 2, 5, 2, 0, 1, 9, 0, 0, u"Windows XP Professional x64 Edition", 5},
        OsCase{"WorkstationOnX86IsServer2003", 2, 5, 2, 0, 1, 0, 0, 0, u"Windows Server 2003", 5},
        OsCase{"Server2003", 2, 5, 2, 0, 3, 9, 0, 0, u"Windows Server 2003", 5},
        OsCase{"Xp", 2, 5, 1, 0, 1, 0, 0, 0, u"Windows XP", 5},
        OsCase{"Win2000", 2, 5, 0, 0, 1, 0, 0, 0, u"Windows 2000", 5},
        OsCase{"Version53NoName", 2, 5, 3, 0, 1, 0, 0, 0, nullptr, 5},
        OsCase{"Nt4", 2, 4, 0, 0, 1, 0, 0, 0, u"Microsoft Windows NT", 4},
        OsCase{"Major3", 2, 3, 51, 0, 1, 0, 0, 0, u"Microsoft Windows NT", 3},
        OsCase{"Major10", 2, 10, 0, 0, 1, 9, 0, 0, u"Microsoft Windows NT", 10},
        OsCase{"Win9x", 1, 4, 10, 0, 0, 0, 0, 0, nullptr, -1},
        OsCase{"Win32s", 0, 3, 1, 0, 0, 0, 0, 0, nullptr, -1},
        OsCase{"UnknownPlatform", 3, 6, 1, 0, 1, 0, 0, -1, nullptr, -1}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(OsName, ArchitectureComesFromTheNativeCallWhenPresent) {
  FakeSystemInfo system;
  system.version = {2, 5, 2, 0, 1};
  system.nativeArchitecture = 9;  // a 32-bit process on a 64-bit system
  system.emulatedArchitecture = 0;
  std::u16string name;
  int32_t length = 0;
  std::atomic<int32_t> major{1};
  ASSERT_EQ(QueryOsName(system, name, length, major), 0);
  EXPECT_EQ(name, u"Windows XP Professional x64 Edition");

  system.hasNative = false;
  ASSERT_EQ(QueryOsName(system, name, length, major), 0);
  EXPECT_EQ(name, u"Windows Server 2003");
}

TEST(OsName, PlainRecordFallbackReadsProductTypeAsZero) {
  FakeSystemInfo system;
  system.version = {2, 6, 0, 0, 1};
  system.extendedFails = true;
  std::u16string name;
  int32_t length = 0;
  std::atomic<int32_t> major{1};
  EXPECT_EQ(QueryOsName(system, name, length, major), 0);
  EXPECT_EQ(name, u"Windows Server 2008");
  EXPECT_EQ(major.load(), 6);
}

TEST(OsName, BothReadsFailingWritesNothing) {
  FakeSystemInfo system;
  system.version = {2, 6, 1, 0, 1};
  system.extendedFails = system.plainFails = true;
  std::u16string name = u"x";
  int32_t length = 3;
  std::atomic<int32_t> major{1};
  EXPECT_EQ(QueryOsName(system, name, length, major), -1);
  EXPECT_EQ(name, u"x");
  EXPECT_EQ(length, 3);
  EXPECT_EQ(major.load(), 1);
}

TEST(OsName, ServerR2FlagIsAskedOnlyForVersion52) {
  FakeSystemInfo system;
  system.version = {2, 6, 1, 0, 1};
  std::u16string name;
  int32_t length = 0;
  std::atomic<int32_t> major{1};
  QueryOsName(system, name, length, major);
  system.version = {2, 5, 1, 0, 1};
  QueryOsName(system, name, length, major);
  EXPECT_EQ(system.metricsQueries(), 0);
  system.version = {2, 5, 2, 0, 1};
  QueryOsName(system, name, length, major);
  EXPECT_EQ(system.metricsQueries(), 1);
}

class SysInfoButton : public ::testing::Test {
 protected:
  ProbeBed bed;
  CQarxServiceDlg dlg{bed.platform};
};

TEST_F(SysInfoButton, LogsTheNameAndSeparator) {
  bed.system.version = {2, 6, 1, 0, 1};
  dlg.m_nOsMajorVersion = 1;
  dlg.OnSysInfo();
  EXPECT_EQ(bed.ui.log(), (std::vector<std::u16string>{u"系统信息为:Windows 7!",
                                                       u"-----------------------------------------------"}));
  EXPECT_EQ(dlg.m_nOsMajorVersion, 6);
}

TEST_F(SysInfoButton, FailureLineKeepsTheWrittenMajorVersion) {
  bed.system.version = {2, 6, 2, 0, 1};
  dlg.m_nOsMajorVersion = 1;
  dlg.OnSysInfo();
  EXPECT_EQ(bed.ui.log().front(), u"系统信息获取失败!");
  EXPECT_EQ(dlg.m_nOsMajorVersion, 6);
}

TEST_F(SysInfoButton, PlatformOneGivesTheSuccessLineWithAnEmptyName) {
  bed.system.version = {1, 4, 10, 0, 0};
  dlg.m_nOsMajorVersion = 1;
  dlg.OnSysInfo();
  EXPECT_EQ(bed.ui.log().front(), u"系统信息为:!");
  EXPECT_EQ(dlg.m_nOsMajorVersion, 1);
}

}  // namespace
}  // namespace qarx
