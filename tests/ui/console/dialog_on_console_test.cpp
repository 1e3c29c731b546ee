// The real dialog on the console front-end: self-hiding through the frame
// paint, the tray while a download runs, and leaving the loop from a worker.
#include <gtest/gtest.h>

#include <thread>

#include "app/qarx_service_app.h"
#include "app/qarx_service_dlg.h"
#include "common/qarx_types.h"
#include "console_harness.h"
#include "support/fake_platform.h"

namespace qarx::console {
namespace {

using testing::ConsoleBed;
using testing::Target;

class DialogOnConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.threads.deferred = true;  // the reader monitor is not under test
    fake.platform.ui = bed.ui.get();
    theApp.m_pMainWnd = &dlg;
    // Every message goes on to the dialog; the proxy only records.
    target.onMessage = [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
      dlg.WindowProc(message, wParam, lParam);
    };
    bed.Start(target);
    Sync();  // past the start and its first frame paint
  }
  void TearDown() override {
    bed.Stop();
    theApp.m_pMainWnd = nullptr;
  }
  // Types a command and returns once the loop has handled it.
  void Do(const std::string& command) {
    const std::string mark = "mark-" + std::to_string(++syncs_);
    bed.Type(command);
    bed.Type(mark);  // an unknown command: its error line shows the reader got this far
    ASSERT_TRUE(bed.err.WaitFor(mark));
    Sync();
  }
  void Sync() { ASSERT_TRUE(bed.Sync(target)); }
  // What a download job does when it starts showing the dialog.
  void StartDownload() {
    std::thread([this] {
      dlg.m_bDownloading = 1;
      dlg.ShowWindow(SW_SHOW);
      dlg.UpdateTrayIcon(false);
    }).join();
  }

  testing::ConsoleBed bed;
  Target target;
  qarx::testing::FakePlatform fake;
  CQarxServiceDlg dlg{fake.platform};
  size_t syncs_ = 0;
};

TEST_F(DialogOnConsoleTest, TheDialogHidesItselfWheneverItIsShownOutsideDownloads) {
  EXPECT_FALSE(bed.ui->IsWindowVisible());  // the framework's first showing hid it
  for (const char* command : {"open", "minimize", "tray-left"}) {
    Do(command);
    EXPECT_FALSE(bed.ui->IsWindowVisible()) << command;
  }
}

TEST_F(DialogOnConsoleTest, WhileDownloadingCloseHidesAndTheTrayBringsItBack) {
  StartDownload();
  EXPECT_TRUE(bed.ui->IsWindowVisible());
  EXPECT_TRUE(bed.ui->trayShown());
  Do("cancel");
  EXPECT_FALSE(bed.ui->IsWindowVisible());
  EXPECT_TRUE(bed.ui->trayShown());
  Do("tray-left");
  EXPECT_TRUE(bed.ui->IsWindowVisible());
  Do("minimize");
  EXPECT_TRUE(bed.ui->IsIconic());
  EXPECT_TRUE(bed.ui->IsWindowVisible());
  bed.Type("tray-right");  // the next line chooses from the menu
  ASSERT_TRUE(bed.out.WaitFor("menu: 打开 (open 1127) | - | 最小化 (minimize 1130) | 隐藏 (hide 1131) | - | 退出 (exit 1128)"));
  Do("隐藏");
  EXPECT_FALSE(bed.ui->IsWindowVisible());
}

TEST_F(DialogOnConsoleTest, ExitServiceFromAWorkerEndsTheLoop) {
  StartDownload();
  std::thread([this] { dlg.ExitService(); }).join();
  bed.Join();
  EXPECT_EQ(bed.result, IDCANCEL);
  EXPECT_FALSE(bed.ui->trayShown());
}

TEST_F(DialogOnConsoleTest, TheExitCommandEndsTheLoop) {
  bed.Type("exit");
  bed.Join();
  EXPECT_EQ(bed.result, IDCANCEL);
}

}  // namespace
}  // namespace qarx::console
