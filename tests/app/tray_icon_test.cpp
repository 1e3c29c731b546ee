// The tray icon's reference count, as downloads take and drop it.
#include <gtest/gtest.h>

#include <future>

#include "app/qarx_service_app.h"
#include "app/qarx_service_dlg.h"
#include "support/fake_platform.h"

namespace qarx {
namespace {

using testing::FakePlatform;
using Calls = std::vector<std::string>;

class TrayIconTest : public ::testing::Test {
 protected:
  void Init() {
    fake.threads.deferred = true;  // the reader monitor is not under test
    dlg.WindowProc(WM_INITDIALOG, 0, 0);
    fake.ui.ClearCalls();
  }
  Calls Update(bool remove) {
    fake.ui.ClearCalls();
    dlg.UpdateTrayIcon(remove);
    return fake.ui.calls();
  }
  FakePlatform fake;
  CQarxServiceDlg dlg{fake.platform};
};

TEST_F(TrayIconTest, TwoTakesAddOnceAndTheSecondDropRemoves) {
  Init();
  EXPECT_EQ(Update(false), (Calls{"tray add 128", "show 1"}));
  EXPECT_EQ(Update(false), Calls{});
  EXPECT_EQ(dlg.m_nTrayRefCount, 2);
  EXPECT_EQ(Update(true), Calls{});
  EXPECT_EQ(Update(true), (Calls{"tray delete 128", "show 0"}));
  EXPECT_EQ(dlg.m_nTrayRefCount, 0);
}

TEST_F(TrayIconTest, ADropWithoutATakeGoesNegativeAndTheNextTakeAddsNothing) {
  Init();
  EXPECT_EQ(Update(true), (Calls{"tray delete 128", "show 0"}));
  EXPECT_EQ(dlg.m_nTrayRefCount, -1);
  EXPECT_EQ(Update(false), Calls{});
  EXPECT_EQ(dlg.m_nTrayRefCount, 0);
  EXPECT_FALSE(fake.ui.trayShown());
}

TEST_F(TrayIconTest, TheTrayMutexIsFreeAfterEachUpdate) {
  Init();
  dlg.UpdateTrayIcon(false);
  dlg.UpdateTrayIcon(true);
  // Another thread must get it: an update that kept it would block here.
  auto other = std::async(std::launch::async, [&] {
    bool existed = false;
    auto handle = fake.mutexes.Create(u"the Mutex of CQarxService Class!", false, existed);
    const bool owned = handle->Wait();
    handle->Release();
    return existed && owned;
  });
  ASSERT_EQ(other.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(other.get());
}

TEST_F(TrayIconTest, WithoutItsMutexTheCountStillWorks) {
  fake.mutexes.failCreate = true;
  Init();
  EXPECT_EQ(dlg.m_hTrayMutex, nullptr);
  EXPECT_EQ(Update(false), (Calls{"tray add 128", "show 1"}));
  EXPECT_EQ(Update(true), (Calls{"tray delete 128", "show 0"}));
}

TEST_F(TrayIconTest, TwoDownloadsKeepTheIconUntilTheSecondEnds) {
  Init();
  // Each download: flag, show, take ... drop, clear flag, hide.
  dlg.m_bDownloading = 1;
  dlg.ShowWindow(SW_SHOW);
  dlg.UpdateTrayIcon(false);
  dlg.m_bDownloading = 1;
  dlg.ShowWindow(SW_SHOW);
  dlg.UpdateTrayIcon(false);
  dlg.UpdateTrayIcon(true);  // the first ends
  dlg.m_bDownloading = 0;
  dlg.ShowWindow(SW_HIDE);
  EXPECT_TRUE(fake.ui.trayShown());
  // The second still runs, but the next frame paint hides the dialog.
  fake.ui.ClearCalls();
  dlg.WindowProc(WM_NCPAINT, 1, 0);
  EXPECT_EQ(fake.ui.calls(), Calls{"show 0"});
  EXPECT_EQ(Update(true), (Calls{"tray delete 128", "show 0"}));
}

}  // namespace
}  // namespace qarx
