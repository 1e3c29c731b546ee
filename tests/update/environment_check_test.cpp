#include <gtest/gtest.h>

#include "app/qarx_service_dlg.h"
#include "support/probe_bed.h"
#include "update/environment_check_job.h"

namespace qarx {
namespace {

using testing::ProbeBed;

constexpr char16_t kControl[] = u"SOFTWARE\\Veltrane\\IC Card Terminal\\OCX\\";
constexpr char16_t kServer[] = u"SOFTWARE\\Veltrane\\IC Card Terminal\\Server\\";
constexpr char16_t kS[] = u"-----------------------------------------------";
constexpr char16_t kCcidQuestion[] = u"未检测到CCID驱动\r\n是否需要下载安装?";
constexpr char16_t kControlQuestion[] = u"   未安装控件\r\n是否需要下载安装?";
constexpr char16_t kServerQuestion[] = u" 未安装服务程序\r\n是否需要下载安装?";
constexpr char16_t kControlUpdateQuestion[] = u"检查到控件有更新\r\n是否需要下载更新?";
constexpr char16_t kServerUpdateQuestion[] = u"检查到服务程序有更新\r\n  是否需要下载更新?";

using Lines = std::vector<std::u16string>;

// A Windows 7 workstation with everything installed and current.
class EnvironmentCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    bed.system.version = {2, 6, 1, 0, 1};
    bed.registry.SetString(RegRoot::ClassesRoot, u"http\\shell\\open\\command", u"",
                           u"\"C:\\Program Files\\Web\\browser.exe\" -- \"%1\"");
    for (const char16_t* key : {kControl, kServer}) {
      bed.registry.SetDword(RegRoot::LocalMachine, key, u"Installed", 1);
      bed.registry.SetVersion(key, 1, 0, 0, 1);
    }
    bed.SetConfiguredVersion(u"Control", 1, 0, 0, 1);
    bed.SetConfiguredVersion(u"Server", 1, 0, 0, 1);
    dlg.m_nOsMajorVersion = 1;
  }
  void WindowsXpWithoutCcidDriver() { bed.system.version = {2, 5, 1, 0, 1}; }
  // Not installed, with the older version the last installation left.
  void Uninstalled(const char16_t* key) {
    bed.registry.SetDword(RegRoot::LocalMachine, key, u"Installed", 0);
    bed.registry.SetVersion(key, 1, 0, 0, 0);
  }
  Lines Questions() const {
    Lines texts;
    for (const auto& box : bed.ui.boxes()) texts.push_back(box.text);
    return texts;
  }
  std::vector<intptr_t> RequestedKinds() const {
    std::vector<intptr_t> kinds;
    for (const auto& m : bed.ui.posted()) {
      EXPECT_EQ(m.message, 1125u);
      EXPECT_EQ(m.wParam, reinterpret_cast<uintptr_t>(&dlg));
      kinds.push_back(m.lParam);
    }
    return kinds;
  }

  ProbeBed bed;
  CQarxServiceDlg dlg{bed.platform};
};

TEST_F(EnvironmentCheck, CurrentWindows7LogsTwoSeparatorsInARowAndAsksNothing) {
  EXPECT_EQ(EnvironmentCheckJob(dlg), 0);
  EXPECT_EQ(bed.ui.log(), (Lines{u"系统信息为:Windows 7!", kS, u"系统默认浏览器为:browser!", kS, kS,
                                 u"安装信息>>控件:控件安装正常!", u"安装信息>>服务程序:服务程序安装正常!", kS,
                                 u"未检查到新的控件安装包!", u"未检查到新的服务程序安装包!", kS}));
  EXPECT_TRUE(bed.ui.boxes().empty());
  EXPECT_TRUE(bed.ui.posted().empty());
  EXPECT_TRUE(bed.find.patterns().empty());  // the CCID probe did not run
}

TEST_F(EnvironmentCheck, WindowsXpWithoutDriverAsksAboutCcidFirst) {
  WindowsXpWithoutCcidDriver();
  Uninstalled(kControl);
  EnvironmentCheckJob(dlg);
  EXPECT_EQ(bed.ui.log(), (Lines{u"系统信息为:Windows XP!", kS, u"系统默认浏览器为:browser!", kS,
                                 u"未检测到CCID驱动!", kS, u"安装信息>>控件:控件未安装!",
                                 u"安装信息>>服务程序:服务程序安装正常!", kS, u"检查到新的控件安装包!",
                                 u"未检查到新的服务程序安装包!", kS}));
  ASSERT_FALSE(bed.ui.boxes().empty());
  const auto first = bed.ui.boxes().front();
  EXPECT_EQ(first.text, kCcidQuestion);
  EXPECT_EQ(first.caption, u"Veltrane服务程序提示");
  EXPECT_EQ(first.owner, BoxOwner::Desktop);
  EXPECT_EQ(first.style, 0x24u);
}

TEST_F(EnvironmentCheck, WindowsXpWithDriverLogsIt) {
  WindowsXpWithoutCcidDriver();
  const std::u16string inf = u"C:\\Windows\\inf\\usbccid.inf";
  bed.profile.Set(inf, u"Version", u"ClassGuid", u"{50DD5230-BA8A-11D1-BF5D-0000F805F530}");
  bed.profile.Set(inf, u"Version", u"CatalogFile", u"usbccid.cat");
  bed.find.SetListing(u"C:\\Windows\\inf\\*.inf", {{u"usbccid.inf"}});
  EnvironmentCheckJob(dlg);
  EXPECT_EQ(bed.ui.log()[4], u"检测到正常的CCID驱动!");
  EXPECT_EQ(bed.ui.log()[5], kS);
}

TEST_F(EnvironmentCheck, FindingIsLoggedBeforeItsQuestionIsAsked) {
  WindowsXpWithoutCcidDriver();
  Lines logWhenAsked;
  bed.ui.onBox = [&](const auto&) { logWhenAsked = bed.ui.log(); };
  EnvironmentCheckJob(dlg);
  EXPECT_EQ(logWhenAsked.back(), u"未检测到CCID驱动!");
}

TEST_F(EnvironmentCheck, UninstalledControlWithOldVersionIsAskedAboutTwice) {
  Uninstalled(kControl);
  bed.ui.QueueAnswers({IDYES, IDYES});
  EnvironmentCheckJob(dlg);
  EXPECT_EQ(Questions(), (Lines{kControlQuestion, kControlUpdateQuestion}));
  EXPECT_EQ(RequestedKinds(), (std::vector<intptr_t>{2, 2}));
}

TEST_F(EnvironmentCheck, AllYesPostsOneRequestPerOfferInOrder) {
  WindowsXpWithoutCcidDriver();
  Uninstalled(kControl);
  Uninstalled(kServer);
  bed.ui.defaultAnswer = IDYES;
  EnvironmentCheckJob(dlg);
  EXPECT_EQ(Questions(),
            (Lines{kCcidQuestion, kControlQuestion, kServerQuestion, kControlUpdateQuestion, kServerUpdateQuestion}));
  EXPECT_EQ(RequestedKinds(), (std::vector<intptr_t>{1, 2, 3, 2, 3}));
  EXPECT_EQ(bed.ui.log(),
            (Lines{u"系统信息为:Windows XP!", kS, u"系统默认浏览器为:browser!", kS, u"未检测到CCID驱动!", kS,
                   u"安装信息>>控件:控件未安装!", u"安装信息>>服务程序:服务程序未安装!", kS,
                   u"检查到新的控件安装包!", u"检查到新的服务程序安装包!", kS}));
}

TEST_F(EnvironmentCheck, NoAnswersPostNothing) {
  WindowsXpWithoutCcidDriver();
  Uninstalled(kControl);
  Uninstalled(kServer);
  bed.ui.defaultAnswer = IDNO;
  EnvironmentCheckJob(dlg);
  EXPECT_EQ(bed.ui.boxes().size(), 5u);
  EXPECT_TRUE(bed.ui.posted().empty());
}

TEST_F(EnvironmentCheck, AbsentControlKeyOffersNoUpdateOfEitherComponent) {
  ProbeBed pc;
  CQarxServiceDlg pcDlg{pc.platform};
  pc.system.version = {2, 6, 1, 0, 1};
  pc.registry.SetVersion(kServer, 1, 0, 0, 0);  // the service program's key, flag missing, old version
  pc.SetConfiguredVersion(u"Server", 2, 0, 0, 0);
  pc.ui.defaultAnswer = IDYES;
  EnvironmentCheckJob(pcDlg);
  Lines texts;
  for (const auto& box : pc.ui.boxes()) texts.push_back(box.text);
  EXPECT_EQ(texts, (Lines{kControlQuestion, kServerQuestion}));
  const Lines log = pc.ui.log();
  EXPECT_EQ(Lines(log.end() - 3, log.end()), (Lines{u"未检查到新的控件安装包!", u"未检查到新的服务程序安装包!", kS}));
}

TEST_F(EnvironmentCheck, UnreadableVersionLeavesMajorOneAndRunsTheCcidProbe) {
  bed.system.extendedFails = bed.system.plainFails = true;
  EnvironmentCheckJob(dlg);
  EXPECT_EQ(bed.ui.log()[0], u"系统信息获取失败!");
  EXPECT_EQ(dlg.m_nOsMajorVersion, 1);
  EXPECT_EQ(bed.ui.log()[4], u"未检测到CCID驱动!");
}

TEST_F(EnvironmentCheck, FailureAfterMajorSixSkipsTheCcidGroup) {
  bed.system.version = {2, 6, 3, 0, 1};
  EnvironmentCheckJob(dlg);
  EXPECT_EQ(bed.ui.log()[0], u"系统信息获取失败!");
  EXPECT_EQ(bed.ui.log()[3], kS);
  EXPECT_EQ(bed.ui.log()[4], kS);
  EXPECT_TRUE(bed.find.patterns().empty());
}

TEST_F(EnvironmentCheck, LegacyWarningComesBetweenTheCcidGroupAndTheControlLine) {
  bed.registry.SetDword(RegRoot::LocalMachine, u"SOFTWARE\\Quorvia ICOCX", u"Installed", 1);
  bed.registry.SetString(RegRoot::LocalMachine, u"SOFTWARE\\Quorvia ICOCX", u"InstallDir", u"C:\\Old Ctl");
  bed.files.Add(u"C:\\Old Ctl\\卸载.exe");
  Lines logWhenWarned;
  bed.ui.onBox = [&](const auto&) { logWhenWarned = bed.ui.log(); };
  EnvironmentCheckJob(dlg);
  EXPECT_EQ(logWhenWarned.size(), 5u);  // system, S, browser, S, S
  EXPECT_EQ(bed.Executed(), Lines{u"C:\\Old Ctl\\卸载.exe"});
  EXPECT_EQ(bed.ui.log().size(), 11u);  // the legacy check adds no line
}

}  // namespace
}  // namespace qarx
