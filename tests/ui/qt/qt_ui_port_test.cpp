#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>

#include "app/qarx_service_dlg.h"
#include "common/qarx_types.h"
#include "qt_test_support.h"

namespace qarx::qt {
namespace {

using qarx::testing::Delivered;
using qarx::testing::Drain;
using qarx::testing::PopupMenu;
using qarx::testing::RecordingTarget;
using qarx::testing::RunModalWith;
using qarx::testing::TheDialog;
using qarx::testing::TrayIcon;

QString Q(const char16_t* text) { return QString::fromUtf16(text); }

class QtUiPortTest : public ::testing::Test {
 protected:
  QtUiPort port{nullptr};
  RecordingTarget target;
};

TEST_F(QtUiPortTest, InitialisesThenShowsWithAFramePaintAndRunsUntilEnded) {
  const int result = RunModalWith(port, target, [&] {
    EXPECT_TRUE(TheDialog()->isVisible()) << "the template is visible and this target keeps it";
    port.PostMessage(WM_USER + 7, 3, 4);
    port.PostMessage(WM_USER + 8, 5, 6);
    Drain();
    port.EndModal(42);
    port.PostMessage(WM_USER + 9, 0, 0);  // the run is over before this one comes up
  });
  EXPECT_EQ(result, 42);
  ASSERT_GE(target.received.size(), 4u);
  EXPECT_EQ(target.received[0].message, WM_INITDIALOG);
  EXPECT_EQ(target.received[1].message, WM_NCPAINT);
  const auto first = target.Of(WM_USER + 7);
  const auto second = target.Of(WM_USER + 8);
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_TRUE(target.Of(WM_USER + 9).empty());
  EXPECT_EQ(first[0].wParam, 3u);
  EXPECT_EQ(first[0].lParam, 4);
  for (const Delivered& d : target.received) EXPECT_TRUE(d.onUiThread) << d.message;
  EXPECT_FALSE(TheDialog()->isVisible()) << "the window goes with the run";
  EXPECT_FALSE(port.PostMessage(WM_USER, 0, 0)) << "no window to post to after the run";
}

TEST_F(QtUiPortTest, EndModalDuringInitialisationSkipsTheLoop) {
  target.onMessage = [&](const Delivered& d) {
    if (d.message == WM_INITDIALOG) port.EndModal(7);
  };
  EXPECT_EQ(port.RunModal(target), 7);
  EXPECT_TRUE(target.Of(WM_NCPAINT).empty());
}

TEST_F(QtUiPortTest, ShowCodesDriveTheWindowAndPaintTheFrameOnAppearance) {
  RunModalWith(port, target, [&] {
    DialogWindow& window = *TheDialog();
    const size_t paintsAtStart = target.Of(WM_NCPAINT).size();
    port.ShowWindow(SW_HIDE);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(port.IsWindowVisible());
    port.ShowWindow(SW_SHOWMINIMIZED);
    EXPECT_TRUE(port.IsWindowVisible()) << "a minimised window is still visible";
    EXPECT_TRUE(port.IsIconic());
    port.ShowWindow(SW_SHOWNORMAL);
    EXPECT_FALSE(port.IsIconic());
    port.ShowWindow(SW_SHOW);  // already shown, same state: no frame paint
    EXPECT_EQ(target.Of(WM_NCPAINT).size(), paintsAtStart + 2);
    int width = 0;
    int height = 0;
    port.GetClientSize(width, height);
    EXPECT_EQ(width, window.width());
    EXPECT_EQ(height, window.height());
    EXPECT_EQ(port.GetSystemMetrics(11), 32);
    EXPECT_EQ(port.GetSystemMetrics(12), 32);
    port.EndModal(0);
  });
}

TEST_F(QtUiPortTest, ControlMessagesReachTheirControls) {
  RunModalWith(port, target, [&] {
    DialogWindow& window = *TheDialog();
    port.ListAddString(u"系统信息为:Windows 7!");
    port.ListAddString(u"-----------------------------------------------");
    port.ListAddString(u"<b>not markup</b>");
    ASSERT_EQ(window.ActivityLog()->count(), 3);
    EXPECT_EQ(window.ActivityLog()->item(0)->text(), Q(u"系统信息为:Windows 7!"));
    EXPECT_EQ(window.ActivityLog()->item(2)->text(), Q(u"<b>not markup</b>"));
    port.ListResetContent();
    EXPECT_EQ(window.ActivityLog()->count(), 0);

    port.SetStatusText(u"正在下载最新程序……");
    EXPECT_EQ(window.StatusText()->text(), Q(u"正在下载最新程序……"));
    EXPECT_EQ(window.StatusText()->textFormat(), Qt::PlainText);

    // The bar keeps its position inside its range, as the native control does.
    port.SetProgressRange(0, 100);
    struct Case {
      int sent, shown;
    } cases[] = {{0, 0}, {37, 37}, {100, 100}, {130, 100}, {-4, 0}};
    for (const Case& c : cases) {
      port.SetProgressPos(c.sent);
      EXPECT_EQ(window.ProgressBar()->value(), c.shown) << c.sent;
    }
    port.EndModal(0);
  });
}

TEST_F(QtUiPortTest, TimersTickUntilKilledFromTheirOwnTick) {
  target.onMessage = [&](const Delivered& d) {
    if (d.message == WM_INITDIALOG) {
      EXPECT_TRUE(port.SetTimer(1, 5000));
      EXPECT_TRUE(port.SetTimer(1, 10));  // a second set restarts the same timer
      EXPECT_TRUE(port.SetTimer(9, 0));   // never faster than the system's minimum
    }
    if (d.message == WM_TIMER && d.wParam == 1 && target.Of(WM_TIMER).size() >= 3) {
      EXPECT_TRUE(port.KillTimer(1));
      EXPECT_FALSE(port.KillTimer(1));
      EXPECT_TRUE(port.KillTimer(9));
      port.PostMessage(WM_USER, 0, 0);
    }
    if (d.message == WM_USER) port.EndModal(0);
  };
  RunModalWith(port, target, [] {});
  const auto ticks = target.Of(WM_TIMER);
  ASSERT_GE(ticks.size(), 3u);
  EXPECT_FALSE(port.KillTimer(12)) << "no such timer";
}

TEST_F(QtUiPortTest, TrayIconCarriesTipAndMouseMessages) {
  RunModalWith(port, target, [&] {
    TrayIconData data;
    data.uID = 128;
    data.uFlags = 7;
    data.uCallbackMessage = WM_TRAY_NOTIFY;
    data.hIcon = 128;
    data.szTip = u"      VeltraneIC卡\r\n互联网终端服务程序!";
    port.TrayAdd(data);  // false here: the offscreen platform has no tray
    QSystemTrayIcon* icon = TrayIcon();
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->toolTip(), Q(u"      VeltraneIC卡\n互联网终端服务程序!"));
    EXPECT_FALSE(icon->icon().isNull());
    EXPECT_FALSE(port.TrayAdd(data)) << "one icon per identifier";

    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick,
                        QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
      emit icon->activated(reason);
    }
    const auto notes = target.Of(WM_TRAY_NOTIFY);
    ASSERT_EQ(notes.size(), 4u);
    const intptr_t mice[] = {513, 516, 515, 519};
    for (size_t i = 0; i < notes.size(); ++i) {
      EXPECT_EQ(notes[i].wParam, 128u);
      EXPECT_EQ(notes[i].lParam, mice[i]);
    }
    EXPECT_TRUE(port.TrayDelete(data));
    EXPECT_EQ(TrayIcon(), nullptr);
    EXPECT_FALSE(port.TrayDelete(data)) << "nothing left to delete";
    port.EndModal(0);
  });
}

TEST_F(QtUiPortTest, PopupMenuListsTheEntriesAndPostsTheChoice) {
  RunModalWith(port, target, [&] {
    port.TrackPopupMenu(TrayMenuItems());
    QMenu* menu = PopupMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    const QList<QAction*> actions = menu->actions();
    const char16_t* expected[] = {u"打开", nullptr, u"最小化", u"隐藏", nullptr, u"退出"};
    ASSERT_EQ(actions.size(), 6);
    for (int i = 0; i < 6; ++i) {
      if (expected[i] == nullptr) {
        EXPECT_TRUE(actions[i]->isSeparator()) << i;
      } else {
        EXPECT_EQ(actions[i]->text(), Q(expected[i])) << i;
      }
    }
    // A choice arrives as a command once the menu has closed.
    actions[3]->trigger();
    EXPECT_TRUE(target.Of(WM_COMMAND).empty());
    Drain();
    const auto commands = target.Of(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, 1131u);
    EXPECT_EQ(commands[0].lParam, 0);
    port.EndModal(0);
  });
}

}  // namespace
}  // namespace qarx::qt
