#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qarx
