#include <gtest/gtest.h>

#include "app/qarx_service_dlg.h"
#include "probes/installed_components.h"
#include "support/probe_bed.h"

namespace qarx {
namespace {

using testing::ProbeBed;

constexpr char16_t kControl[] = u"SOFTWARE\\Veltrane\\IC Card Terminal\\OCX\\";
constexpr char16_t kServer[] = u"SOFTWARE\\Veltrane\\IC Card Terminal\\Server\\";
constexpr char16_t kLegacy[] = u"SOFTWARE\\Quorvia ICOCX\\";
constexpr char16_t kWarning[] = u"您安装了旧版的控件\r\n请卸载后，安装新的控件!";

enum class Flag { Dword1, Dword0, Dword257, Text1, NoValue, NoKey };

void SetFlag(ProbeBed& bed, const char16_t* key, Flag flag) {
  switch (flag) {
    case Flag::Dword1: bed.registry.SetDword(RegRoot::LocalMachine, key, u"Installed", 1); break;
    case Flag::Dword0: bed.registry.SetDword(RegRoot::LocalMachine, key, u"Installed", 0); break;
    case Flag::Dword257: bed.registry.SetDword(RegRoot::LocalMachine, key, u"Installed", 257); break;
    case Flag::Text1: bed.registry.SetString(RegRoot::LocalMachine, key, u"Installed", u"1"); break;
    case Flag::NoValue: bed.registry.AddKey(RegRoot::LocalMachine, key); break;
    case Flag::NoKey: break;
  }
}

struct FlagCase {
  const char* label;
  Flag flag;
  int32_t installed;     // control and service program
  bool legacyWarns;      // the legacy control counts as installed
  int32_t legacyResult;  // with InstallDir present and no uninstaller file
};

class InstalledFlag : public ::testing::TestWithParam<FlagCase> {};

TEST_P(InstalledFlag, ControlAndServiceTestTheFirstByte) {
  const FlagCase& c = GetParam();
  ProbeBed bed;
  SetFlag(bed, kControl, c.flag);
  SetFlag(bed, kServer, c.flag);
  EXPECT_EQ(IsControlInstalled(bed.registry), c.installed);
  EXPECT_EQ(IsServiceInstalled(bed.registry), c.installed);
  EXPECT_EQ(bed.registry.openKeys(), 0);
}

TEST_P(InstalledFlag, LegacyControlTestsTheFirst16Bits) {
  const FlagCase& c = GetParam();
  ProbeBed bed;
  SetFlag(bed, kLegacy, c.flag);
  if (c.flag != Flag::NoKey) bed.registry.SetString(RegRoot::LocalMachine, kLegacy, u"InstallDir", u"C:\\OldCtl");
  EXPECT_EQ(CheckLegacyControl(bed.platform), c.legacyResult);
  EXPECT_EQ(bed.ui.boxes().size(), c.legacyWarns ? 1u : 0u);
  EXPECT_TRUE(bed.Executed().empty());
  EXPECT_EQ(bed.registry.openKeys(), 0);
}

INSTANTIATE_TEST_SUITE_P(Flags, InstalledFlag,
                         ::testing::Values(FlagCase{"Dword1", Flag::Dword1, 0, true, 0},
                                           FlagCase{"Dword0", Flag::Dword0, -1, false, 0},
                                           FlagCase{"Dword257", Flag::Dword257, 0, false, 0},
                                           FlagCase{"Text1", Flag::Text1, -1, false, 0},
                                           FlagCase{"NoValue", Flag::NoValue, -1, false, -1},
                                           FlagCase{"NoKey", Flag::NoKey, -1, false, -1}),
                         [](const auto& info) { return std::string(info.param.label); });

class LegacyControl : public ::testing::Test {
 protected:
  void Legacy(const std::u16string& dir) {
    bed.registry.SetDword(RegRoot::LocalMachine, kLegacy, u"Installed", 1);
    bed.registry.SetString(RegRoot::LocalMachine, kLegacy, u"InstallDir", dir);
  }
  ProbeBed bed;
};

TEST_F(LegacyControl, WarnsThenStartsTheUninstallerByItsExactPath) {
  Legacy(u"C:\\Program Files\\Old Ctl");
  bed.files.Add(u"C:\\Program Files\\Old Ctl\\卸载.exe");
  EXPECT_EQ(CheckLegacyControl(bed.platform), 0);
  ASSERT_EQ(bed.ui.boxes().size(), 1u);
  const auto box = bed.ui.boxes()[0];
  EXPECT_EQ(box.owner, BoxOwner::Desktop);
  EXPECT_EQ(box.text, kWarning);
  EXPECT_EQ(box.caption, u"Veltrane服务程序");
  EXPECT_EQ(box.style, 0x30u);
  // The path with its spaces, unquoted and unsplit.
  EXPECT_EQ(bed.Executed(), std::vector<std::u16string>{u"C:\\Program Files\\Old Ctl\\卸载.exe"});
  EXPECT_EQ(bed.launcher.executed()[0].showCode, 5);
}

TEST_F(LegacyControl, WarningComesBeforeTheStart) {
  Legacy(u"C:\\OldCtl");
  bed.files.Add(u"C:\\OldCtl\\卸载.exe");
  size_t startedWhenAsked = 99;
  bed.ui.onBox = [&](const auto&) { startedWhenAsked = bed.Executed().size(); };
  CheckLegacyControl(bed.platform);
  EXPECT_EQ(startedWhenAsked, 0u);
  EXPECT_EQ(bed.Executed().size(), 1u);
}

TEST_F(LegacyControl, MissingUninstallerOnlyWarns) {
  Legacy(u"C:\\OldCtl");
  EXPECT_EQ(CheckLegacyControl(bed.platform), 0);
  EXPECT_EQ(bed.ui.boxes().size(), 1u);
  EXPECT_TRUE(bed.Executed().empty());
}

TEST_F(LegacyControl, StartFailureIsMinusOneAtLauncherValue31) {
  Legacy(u"C:\\OldCtl");
  bed.files.Add(u"C:\\OldCtl\\卸载.exe");
  bed.launcher.executeResult = 31;
  EXPECT_EQ(CheckLegacyControl(bed.platform), -1);
  bed.launcher.executeResult = 32;
  EXPECT_EQ(CheckLegacyControl(bed.platform), 0);
}

TEST_F(LegacyControl, FlagWithoutInstallDirIsNeverReported) {
  bed.registry.SetDword(RegRoot::LocalMachine, kLegacy, u"Installed", 1);
  EXPECT_EQ(CheckLegacyControl(bed.platform), -1);
  EXPECT_TRUE(bed.ui.boxes().empty());
}

TEST_F(LegacyControl, InstallDirWithTrailingBackslashKeepsTheDoubledOne) {
  Legacy(u"C:\\OldCtl\\");
  bed.files.Add(u"C:\\OldCtl\\\\卸载.exe");
  EXPECT_EQ(CheckLegacyControl(bed.platform), 0);
  EXPECT_EQ(bed.Executed(), std::vector<std::u16string>{u"C:\\OldCtl\\\\卸载.exe"});
}

TEST(InstallInfoButton, LogsBothComponentsAndSeparator) {
  ProbeBed bed;
  CQarxServiceDlg dlg{bed.platform};
  bed.registry.SetDword(RegRoot::LocalMachine, kControl, u"Installed", 1);
  bed.registry.SetDword(RegRoot::LocalMachine, kLegacy, u"Installed", 1);  // not looked at here
  dlg.OnInstallInfo();
  bed.registry.SetDword(RegRoot::LocalMachine, kServer, u"Installed", 1);
  bed.registry.SetDword(RegRoot::LocalMachine, kControl, u"Installed", 0);
  dlg.OnInstallInfo();
  EXPECT_EQ(bed.ui.log(), (std::vector<std::u16string>{
                              u"安装信息>>控件:控件安装正常!", u"安装信息>>服务程序:服务程序未安装!",
                              u"-----------------------------------------------", u"安装信息>>控件:控件未安装!",
                              u"安装信息>>服务程序:服务程序安装正常!",
                              u"-----------------------------------------------"}));
  EXPECT_TRUE(bed.ui.boxes().empty());
}

}  // namespace
}  // namespace qarx
