// The dialog's message table: what each message leads to, seen through the
// recording UI port.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/qarx_service_app.h"
#include "app/qarx_service_dlg.h"
#include "support/fake_platform.h"
#include "terminal/reader_slot.h"

namespace qarx {
namespace {

using testing::FakePlatform;

class DialogMessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    theApp.m_pMainWnd = &dlg;
    // Jobs started by the table are queued, never run: only the start counts.
    fake.threads.deferred = true;
    dlg.WindowProc(WM_INITDIALOG, 0, 0);
    fake.ui.ClearCalls();
  }
  void TearDown() override { theApp.m_pMainWnd = nullptr; }
  std::vector<std::string> Send(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t* result = nullptr) {
    fake.ui.ClearCalls();
    const intptr_t r = dlg.WindowProc(message, wParam, lParam);
    if (result) *result = r;
    return fake.ui.calls();
  }
  FakePlatform fake;
  CQarxServiceDlg dlg{fake.platform};
};

using Calls = std::vector<std::string>;

TEST_F(DialogMessagesTest, InitialisationRunsItsStepsInOrder) {
  FakePlatform other;
  other.threads.deferred = true;
  CQarxServiceDlg fresh{other.platform};
  fresh.WindowProc(WM_INITDIALOG, 0, 0);
  EXPECT_EQ(other.ui.calls(), (Calls{"icon 128 big", "icon 128 small", "show 0", "log reset", "range 0 100",
                                     "step 1", "pos 0", "timer 1 5000"}));
}

TEST_F(DialogMessagesTest, TrayNotificationsOtherThanOurIconsButtonsDoNothing) {
  const struct {
    uintptr_t id;
    intptr_t mouse;
  } ignored[] = {
      {127, WM_LBUTTONDOWN}, {129, WM_RBUTTONDOWN}, {0, WM_LBUTTONDOWN},
      {128, 512 /*WM_MOUSEMOVE*/}, {128, 514 /*WM_LBUTTONUP*/}, {128, 515 /*WM_LBUTTONDBLCLK*/},
      {128, 517 /*WM_RBUTTONUP*/}, {128, 0},
  };
  for (const auto& c : ignored) {
    intptr_t result = -1;
    EXPECT_EQ(Send(WM_TRAY_NOTIFY, c.id, c.mouse, &result), Calls{}) << c.id << " " << c.mouse;
    EXPECT_EQ(result, 0);
  }
}

TEST_F(DialogMessagesTest, RightButtonShowsTheSixMenuEntriesInOrder) {
  intptr_t result = -1;
  EXPECT_EQ(Send(WM_TRAY_NOTIFY, 128, WM_RBUTTONDOWN, &result), (Calls{"foreground", "menu 6"}));
  EXPECT_EQ(result, 0);
  const auto menu = fake.ui.lastMenu();
  ASSERT_EQ(menu.size(), 6u);
  const struct {
    uint32_t id;
    std::u16string text;
  } expected[] = {{1127, u"打开"}, {0, u""}, {1130, u"最小化"}, {1131, u"隐藏"}, {0, u""}, {1128, u"退出"}};
  for (size_t i = 0; i < menu.size(); ++i) {
    EXPECT_EQ(menu[i].id, expected[i].id) << i;
    EXPECT_EQ(menu[i].text, expected[i].text) << i;
  }
}

TEST_F(DialogMessagesTest, LeftButtonTogglesVisibility) {
  EXPECT_EQ(Send(WM_TRAY_NOTIFY, 128, WM_LBUTTONDOWN), Calls{"show 1"});
  EXPECT_EQ(Send(WM_TRAY_NOTIFY, 128, WM_LBUTTONDOWN), Calls{"show 0"});
  EXPECT_EQ(Send(WM_TRAY_NOTIFY, 128, WM_LBUTTONDOWN), Calls{"show 1"});
}

TEST_F(DialogMessagesTest, WindowCommandsShowHideOrExit) {
  const struct {
    uintptr_t id;
    Calls calls;
  } cases[] = {
      {1127, {"show 1"}},
      {1129, {"show 3"}},
      {1130, {"show 2"}},
      {1131, {"show 0"}},
      {IDCANCEL, {"show 0"}},
      {1128, {"tray delete 128", "end 2"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Send(WM_COMMAND, c.id, 0), c.calls) << c.id;
}

TEST_F(DialogMessagesTest, CancelCloseAndHideNeverEndTheRun) {
  for (uintptr_t id : {uintptr_t{IDCANCEL}, uintptr_t{ID_MENU_HIDE}}) Send(WM_COMMAND, id, 0);
  EXPECT_FALSE(fake.ui.ended());
}

TEST_F(DialogMessagesTest, CommandsWithANotificationCodeAreNotClicks) {
  for (uint32_t id : {ID_MENU_EXIT, ID_MENU_OPEN, uint32_t{IDCANCEL}})
    EXPECT_EQ(Send(WM_COMMAND, (uintptr_t{1} << 16) | id, 0), Calls{}) << id;
  EXPECT_FALSE(fake.ui.ended());
}

TEST_F(DialogMessagesTest, OnlyAReaderArrivalStartsAJob) {
  ReaderSlot& slot = g_readerSlots[0];
  slot.readerName = u"VLT A";
  slot.claimed = true;
  const auto address = reinterpret_cast<intptr_t>(&slot);
  for (uintptr_t code : {1, 2, 3, 7}) Send(WM_READER_EVENT, code, address);
  EXPECT_EQ(fake.threads.started(), 0);
  Send(WM_READER_EVENT, 0, address);
  EXPECT_EQ(fake.threads.started(), 1);
}

// Any program of the desktop can post the private messages with any values:
// a request that does not name this dialog starts nothing.
TEST_F(DialogMessagesTest, DownloadRequestsNameThisDialog) {
  CQarxServiceDlg other{fake.platform};
  for (uintptr_t bogus : {uintptr_t{0}, uintptr_t{1}, reinterpret_cast<uintptr_t>(&other)})
    Send(WM_DOWNLOAD_REQUEST, bogus, 3);
  EXPECT_EQ(fake.threads.started(), 0);
  Send(WM_DOWNLOAD_REQUEST, reinterpret_cast<uintptr_t>(&dlg), 3);
  EXPECT_EQ(fake.threads.started(), 1);
}

TEST_F(DialogMessagesTest, DragIconIsTheApplicationIcon) {
  intptr_t result = 0;
  Send(WM_QUERYDRAGICON, 0, 0, &result);
  EXPECT_EQ(result, 128);
}

TEST_F(DialogMessagesTest, FramePaintHidesUnlessDownloading) {
  EXPECT_EQ(Send(WM_NCPAINT, 1, 0), Calls{"show 0"});
  dlg.m_bDownloading = 1;
  EXPECT_EQ(Send(WM_NCPAINT, 1, 0), Calls{});
}

TEST_F(DialogMessagesTest, MinimisedPaintCentresTheIconTruncatingTowardsZero) {
  const struct {
    int width, height, x, y;
  } cases[] = {
      {330, 60, 149, 14},  // (330 - 32 + 1) / 2, (60 - 32 + 1) / 2
      {32, 32, 0, 0},
      {30, 29, 0, -1},     // -1 / 2 is 0, -2 / 2 is -1
      {0, 1, -15, -15},    // -31 / 2 and -30 / 2
  };
  fake.ui.iconic = true;
  for (const auto& c : cases) {
    fake.ui.clientWidth = c.width;
    fake.ui.clientHeight = c.height;
    EXPECT_EQ(Send(WM_PAINT, 0, 0), Calls{"draw icon " + std::to_string(c.x) + " " + std::to_string(c.y)})
        << c.width << "x" << c.height;
  }
  fake.ui.iconic = false;
  EXPECT_EQ(Send(WM_PAINT, 0, 0), Calls{});
}

// Signing out ends the service as Exit does; a sign-out that was called off
// (wParam 0) changes nothing.
TEST_F(DialogMessagesTest, EndOfTheSessionExitsLikeTheTrayMenu) {
  EXPECT_EQ(Send(WM_ENDSESSION, 0, 0), Calls{});
  EXPECT_FALSE(fake.ui.ended());
  EXPECT_EQ(Send(WM_ENDSESSION, 1, 0), (Calls{"tray delete 128", "end 2"}));
}

// A restarted taskbar gets the icon of a running download again, and only
// that one.
TEST_F(DialogMessagesTest, RestartedTaskbarGetsTheIconOfADownloadAgain) {
  EXPECT_EQ(Send(WM_TASKBAR_CREATED, 0, 0), Calls{});
  dlg.UpdateTrayIcon(false);
  fake.ui.ClearCalls();
  EXPECT_EQ(Send(WM_TASKBAR_CREATED, 0, 0), Calls{"tray add 128"});
  dlg.UpdateTrayIcon(true);
  fake.ui.ClearCalls();
  EXPECT_EQ(Send(WM_TASKBAR_CREATED, 0, 0), Calls{});
}

TEST_F(DialogMessagesTest, ExitServiceDeletesTheIconEvenWhenNoneIsShown) {
  ASSERT_FALSE(fake.ui.trayShown());
  fake.ui.ClearCalls();
  dlg.ExitService();
  EXPECT_EQ(fake.ui.calls(), (Calls{"tray delete 128", "end 2"}));
}

TEST_F(DialogMessagesTest, AfterExitJobsCallingTheDialogHaveNoEffect) {
  dlg.UpdateTrayIcon(false);
  dlg.ExitService();
  fake.ui.ClearCalls();
  dlg.AppendLog(u"late");
  dlg.SetStatusText(u"late");
  dlg.SetProgressPos(50);
  dlg.ShowWindow(SW_SHOWNORMAL);
  dlg.UpdateTrayIcon(true);
  dlg.UpdateTrayIcon(false);
  EXPECT_FALSE(dlg.PostMessage(WM_DOWNLOAD_REQUEST, 0, kPackageFirmware));
  EXPECT_EQ(dlg.MessageBox(BoxOwner::Desktop, u"?", u"c", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(dlg.MessageBox(BoxOwner::None, u"!", u"c", MB_OK), IDOK);
  dlg.ExitService();
  EXPECT_EQ(fake.ui.calls(), Calls{});
  EXPECT_EQ(dlg.m_nTrayRefCount, 1);
}

TEST(DialogExit, ExitBeforeTheRunStartsEndsTheRunOnceInitialised) {
  FakePlatform fake;
  fake.threads.deferred = true;
  CQarxServiceDlg dlg{fake.platform};
  dlg.ExitService();  // a signal while the process starts
  dlg.DoModal();
  const Calls calls = fake.ui.calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), "end 2");
  EXPECT_NE(std::find(calls.begin(), calls.end(), "timer 1 5000"), calls.end());  // initialised first
}

}  // namespace
}  // namespace qarx
