#include <gtest/gtest.h>

#include <thread>

#include "app/qarx_service_app.h"
#include "app/qarx_service_dlg.h"
#include "support/fake_platform.h"

namespace qarx {
namespace {

using testing::FakePlatform;

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    theApp.m_pMainWnd = &dlg;
    dlg.WindowProc(WM_INITDIALOG, 0, 0);
    fake.ui.ClearCalls();
  }
  void TearDown() override { theApp.m_pMainWnd = nullptr; }
  FakePlatform fake;
  CQarxServiceDlg dlg{fake.platform};
};

TEST_F(DialogTest, InitialisationResetsStateAndStartsTimer) {
  EXPECT_EQ(dlg.m_nOsMajorVersion, 1);
  EXPECT_EQ(dlg.m_nTrayRefCount, 0);
  EXPECT_EQ(dlg.m_bDownloading, 0);
  EXPECT_EQ(dlg.m_bTimerReady, 1);
  EXPECT_EQ(fake.ui.timerPeriod(1), 5000);
  EXPECT_TRUE(fake.mutexes.Exists(u"the Mutex of CQarxService Class!"));
  EXPECT_EQ(dlg.GetPackage(1).URL, u"https://update.test/static/basis/ic/setup_xp.exe");
  EXPECT_EQ(dlg.GetPackage(2).URL, u"https://update.test/static/basis/ic/ICCardSetup_1.0.0.1.exe");
  EXPECT_EQ(dlg.GetPackage(3).URL, u"https://update.test/static/basis/ic/DozAziDedav_1.0.0.1.exe");
  EXPECT_FALSE(fake.ui.visible());
}

TEST_F(DialogTest, StatusTextIsSentOnlyWhenItChanges) {
  for (const char16_t* text : {u"", u"", u"甲", u"甲", u"乙", u"甲", u"甲"}) dlg.SetStatusText(text);
  EXPECT_EQ(fake.ui.statuses(), (std::vector<std::u16string>{u"", u"甲", u"乙", u"甲"}));
}

TEST_F(DialogTest, StatusTextKnownToBeShownMatchesTheControlUnderConcurrentJobs) {
  auto job = [this](const char16_t* text) {
    for (int i = 0; i < 2000; ++i) dlg.SetStatusText(i % 2 ? text : u"正在下载");
  };
  std::thread a(job, u"甲");
  std::thread b(job, u"乙");
  a.join();
  b.join();
  // Whatever the control shows last is what the dialog takes as shown.
  const std::u16string shown = fake.ui.statuses().back();
  const size_t sent = fake.ui.statuses().size();
  dlg.SetStatusText(shown);
  EXPECT_EQ(fake.ui.statuses().size(), sent);
  dlg.SetStatusText(shown == u"甲" ? u"乙" : u"甲");
  EXPECT_EQ(fake.ui.statuses().size(), sent + 1);
}

}  // namespace
}  // namespace qarx
