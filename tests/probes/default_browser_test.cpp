#include <gtest/gtest.h>

#include "app/qarx_service_dlg.h"
#include "probes/default_browser.h"
#include "support/probe_bed.h"

namespace qarx {
namespace {

using testing::FakeRegistry;
using testing::ProbeBed;

constexpr char16_t kCommandKey[] = u"http\\shell\\open\\command\\";

struct BrowserCase {
  const char* label;
  const char16_t* command;
  int32_t status;
  const char16_t* name;
};

class BrowserCommands : public ::testing::TestWithParam<BrowserCase> {};

TEST_P(BrowserCommands, TakesTheProgramNameBeforeTheFirstExe) {
  const BrowserCase& c = GetParam();
  FakeRegistry registry;
  registry.SetString(RegRoot::ClassesRoot, kCommandKey, u"", c.command);
  std::u16string name = u"before";
  int32_t length = -1;
  EXPECT_EQ(QueryDefaultBrowser(registry, name, length), c.status);
  EXPECT_EQ(name, c.name);
  EXPECT_EQ(length, c.status == 0 ? static_cast<int32_t>(std::u16string(c.name).size()) : -1);
  EXPECT_EQ(registry.openKeys(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, BrowserCommands,
    ::testing::Values(
        BrowserCase{"QuotedWithArguments", u"\"C:\\Program Files\\Web Browser\\browser.exe\" -- %1", 0, u"browser"},
        BrowserCase{"Unquoted", u"C:\\Program Files\\Web Browser\\browser.exe", 0, u"browser"},
        BrowserCase{"BackslashesInArguments", u"C:\\Web\\web.exe -profile C:\\Data\\p", 0, u"web"},
        BrowserCase{"NoBackslash", u"web.exe --new-window %1", 0, u"web"},
        BrowserCase{"QuotedNoBackslash", u"\"web.exe\" %1", 0, u"web"},
        BrowserCase{"FirstExeInAFolderName", u"C:\\tools.exe.d\\web.exe", 0, u"tools"},
        BrowserCase{"UpperCaseExeDoesNotMatch", u"C:\\PROGRA~1\\WEB\\WEB.EXE", -1, u"before"},
        BrowserCase{"Empty", u"", -1, u"before"},
        BrowserCase{"QuoteOnly", u"\"", -1, u"before"},
        BrowserCase{"NoExe", u"C:\\Web\\web.com %1", -1, u"before"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DefaultBrowser, MissingKeyOrValueFails) {
  FakeRegistry registry;
  std::u16string name;
  int32_t length = 0;
  EXPECT_EQ(QueryDefaultBrowser(registry, name, length), -1);
  registry.AddKey(RegRoot::ClassesRoot, kCommandKey);
  EXPECT_EQ(QueryDefaultBrowser(registry, name, length), -1);
  // A named value is not the default value.
  registry.SetString(RegRoot::ClassesRoot, kCommandKey, u"DelegateExecute", u"C:\\a\\b.exe");
  EXPECT_EQ(QueryDefaultBrowser(registry, name, length), -1);
  EXPECT_EQ(registry.openKeys(), 0);
}

TEST(DefaultBrowser, CommandOf127CharactersFitsAnd128DoNot) {
  FakeRegistry registry;
  const std::u16string folder = u"C:\\" + std::u16string(127 - 3 - 8, u'd') + u"\\";  // with web.exe: 127 characters
  registry.SetString(RegRoot::ClassesRoot, kCommandKey, u"", folder + u"web.exe");
  std::u16string name;
  int32_t length = 0;
  EXPECT_EQ(QueryDefaultBrowser(registry, name, length), 0);
  EXPECT_EQ(name, u"web");
  registry.SetString(RegRoot::ClassesRoot, kCommandKey, u"", u"x" + folder + u"web.exe");
  name.clear();
  EXPECT_EQ(QueryDefaultBrowser(registry, name, length), -1);
  EXPECT_EQ(name, u"");
}

TEST(DefaultBrowser, DataWithoutTerminatorIsNotReadPastItsEnd) {
  FakeRegistry registry;
  std::vector<uint8_t> bytes;
  for (char16_t c : std::u16string(u"C:\\a\\b.ex")) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(0);
  }
  registry.SetRaw(RegRoot::ClassesRoot, kCommandKey, u"", REG_BINARY, bytes);
  std::u16string name;
  int32_t length = 0;
  EXPECT_EQ(QueryDefaultBrowser(registry, name, length), -1);
}

TEST(BrowserButton, LogsTheNameOrTheFailure) {
  ProbeBed bed;
  CQarxServiceDlg dlg{bed.platform};
  dlg.OnBrowser();
  bed.registry.SetString(RegRoot::ClassesRoot, kCommandKey, u"", u"\"C:\\B\\browser.exe\" %1");
  dlg.OnBrowser();
  EXPECT_EQ(bed.ui.log(), (std::vector<std::u16string>{u"系统默认浏览器信息获取失败!",
                                                       u"-----------------------------------------------",
                                                       u"系统默认浏览器为:browser!",
                                                       u"-----------------------------------------------"}));
}

}  // namespace
}  // namespace qarx
