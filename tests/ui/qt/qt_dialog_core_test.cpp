// The dialog core over the Qt window system: what a user sees of the dialog
// and its tray icon through a download, driven as the user would drive it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QAction>
#include <QMenu>

#include "app/qarx_service_app.h"
#include "app/qarx_service_dlg.h"
#include "qt_test_support.h"
#include "support/fake_platform.h"
#include "ui/qt/app_icon.h"

namespace qarx::qt {
namespace {

using qarx::testing::Drain;
using qarx::testing::FakePlatform;
using qarx::testing::PopupMenu;
using qarx::testing::RunModalWith;
using qarx::testing::TheDialog;
using qarx::testing::TrayIcon;

// Runs fn on a worker thread, as a job would, while this thread keeps the
// window system going.
void OnWorker(const std::function<void()>& fn) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    fn();
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
}

class QtDialogCoreTest : public ::testing::Test {
 protected:
  QtDialogCoreTest() {
    fake.threads.deferred = true;  // no job of another subsystem runs here
    fake.platform.ui = &port;
    theApp.m_pMainWnd = &dlg;
  }
  ~QtDialogCoreTest() override { theApp.m_pMainWnd = nullptr; }

  void StartDownload() {
    OnWorker([&] {
      dlg.m_bDownloading = 1;
      dlg.ShowWindow(SW_SHOW);
      dlg.UpdateTrayIcon(false);
    });
  }
  void EndDownload() {
    OnWorker([&] {
      dlg.UpdateTrayIcon(true);
      dlg.m_bDownloading = 0;
      dlg.ShowWindow(SW_HIDE);
    });
  }
  void Command(uint32_t id) {
    port.PostMessage(WM_COMMAND, id, 0);
    Drain();
  }
  void Click(QSystemTrayIcon::ActivationReason reason) {
    ASSERT_NE(TrayIcon(), nullptr);
    emit TrayIcon()->activated(reason);
    Drain();
  }
  void ChooseFromMenu(const char16_t* entry) {
    Click(QSystemTrayIcon::Context);
    QMenu* menu = PopupMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(menu->isVisible());
    for (QAction* action : menu->actions()) {
      if (action->text() == QString::fromUtf16(entry)) {
        action->trigger();
        menu->close();
      }
    }
    Drain();
  }

  QtUiPort port{nullptr};
  FakePlatform fake;
  CQarxServiceDlg dlg{fake.platform};
};

TEST_F(QtDialogCoreTest, HiddenUnlessDownloadingAndFollowsTheTrayDuringADownload) {
  const int result = RunModalWith(port, dlg, [&] {
    DialogWindow& window = *TheDialog();
    port.KillTimer(1);
    EXPECT_FALSE(window.isVisible()) << "the first showing hides itself";
    Command(ID_MENU_OPEN);
    EXPECT_FALSE(window.isVisible()) << "no download: Open cannot keep it";
    Command(ID_MENU_MINIMIZE);
    EXPECT_FALSE(window.isVisible()) << "nor can a minimise";

    StartDownload();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
    ASSERT_NE(TrayIcon(), nullptr);
    EXPECT_EQ(TrayIcon()->toolTip(), QString::fromUtf16(u"      VeltraneIC卡\n互联网终端服务程序!"));

    ChooseFromMenu(u"最小化");
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
    Click(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(window.isVisible()) << "a left click hides a shown (even minimised) dialog";
    Click(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window.isVisible()) << "and shows a hidden one";
    EXPECT_FALSE(window.isMinimized());
    ChooseFromMenu(u"隐藏");
    EXPECT_FALSE(window.isVisible());
    ChooseFromMenu(u"打开");
    EXPECT_TRUE(window.isVisible());

    window.close();
    EXPECT_FALSE(window.isVisible()) << "the close box hides";
    EXPECT_NE(TrayIcon(), nullptr) << "the icon stays while the download runs";
    Click(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window.isVisible());

    EndDownload();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(TrayIcon(), nullptr);
    Command(ID_MENU_OPEN);
    EXPECT_FALSE(window.isVisible());

    Command(ID_MENU_EXIT);
  });
  EXPECT_EQ(result, IDCANCEL) << "Exit ends the run";
}

TEST_F(QtDialogCoreTest, TwoDownloadsKeepOneIconUntilTheSecondEnds) {
  RunModalWith(port, dlg, [&] {
    DialogWindow& window = *TheDialog();
    port.KillTimer(1);
    StartDownload();
    QSystemTrayIcon* icon = TrayIcon();
    StartDownload();
    EXPECT_EQ(TrayIcon(), icon) << "no second icon";
    EndDownload();
    EXPECT_EQ(TrayIcon(), icon);
    EXPECT_FALSE(window.isVisible()) << "the first end hides the dialog";
    Click(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(window.isVisible()) << "the downloading flag is gone, so it hides itself again";
    EndDownload();
    EXPECT_EQ(TrayIcon(), nullptr);
    Command(ID_MENU_EXIT);
  });
}

TEST_F(QtDialogCoreTest, MinimisedDialogShowsTheIconInTheMiddle) {
  RunModalWith(port, dlg, [&] {
    DialogWindow& window = *TheDialog();
    port.KillTimer(1);
    StartDownload();
    const QImage icon = DrawAppIcon(32).toImage();
    const int x = (window.width() - 32 + 1) / 2;
    const int y = (window.height() - 32 + 1) / 2;
    const QRgb iconCentre = icon.pixel(16, 16);

    // The dialog's own painting, without its children on top.
    const auto paint = [&window] {
      QImage image(window.size(), QImage::Format_ARGB32);
      image.fill(Qt::white);
      window.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
      return image;
    };
    const QImage normal = paint();
    EXPECT_NE(normal.pixel(x + 16, y + 16), iconCentre) << "no icon in the normal painting";
    Command(ID_MENU_MINIMIZE);
    ASSERT_TRUE(window.isMinimized());
    const QImage minimised = paint();
    EXPECT_EQ(minimised.pixel(x + 16, y + 16), iconCentre);
    EXPECT_EQ(minimised.pixel(x + 6, y + 12), icon.pixel(6, 12)) << "the chip";
    EndDownload();
    Command(ID_MENU_EXIT);
  });
}

}  // namespace
}  // namespace qarx::qt
