// The dialog core over the Win32 window system: what a user sees of the
// dialog, its tray icon and menu through a download.
#include "win32_test_window.h"

#include "app/qarx_service_app.h"
#include "app/qarx_service_dlg.h"
#include "support/fake_platform.h"

namespace qarx::win32 {
namespace {

using qarx::testing::FakePlatform;
using qarx::testing::RecordingTrayShell;
using qarx::testing::RunModalWith;
using qarx::testing::TextOf;
using qarx::testing::WaitUntil;

// The dialog, with timer 1 stopped as soon as it starts: no configuration is
// fetched here.
class QuietDialog : public MessageTarget {
 public:
  QuietDialog(CQarxServiceDlg& dlg, Win32UiPort& port) : dlg_(dlg), port_(port) {}
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    const intptr_t result = dlg_.WindowProc(message, wParam, lParam);
    if (message == WM_INITDIALOG) port_.KillTimer(kTimerId);
    return result;
  }

 private:
  CQarxServiceDlg& dlg_;
  Win32UiPort& port_;
};

class Win32DialogCoreTest : public ::testing::Test {
 protected:
  Win32DialogCoreTest() {
    fake.threads.deferred = true;  // no job of another subsystem runs here
    fake.platform.ui = &port;
    theApp.m_pMainWnd = &dlg;
  }
  ~Win32DialogCoreTest() override { theApp.m_pMainWnd = nullptr; }

  // From this worker, as a download job does.
  void StartDownload() {
    dlg.m_bDownloading = 1;
    dlg.ShowWindow(SW_SHOW);
    dlg.UpdateTrayIcon(false);
  }
  void EndDownload() {
    dlg.UpdateTrayIcon(true);
    dlg.m_bDownloading = 0;
    dlg.ShowWindow(SW_HIDE);
  }
  bool Visible() { return IsWindowVisible(port.window()) != FALSE; }
  void Send(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    SendMessageW(port.window(), message, wParam, lParam);
  }
  // Opens the tray menu as a right click does and reads its entries ("text=id"
  // or "-"); then chooses an entry with the keys given and Enter.
  std::vector<std::u16string> ChooseFromMenu(std::vector<WPARAM> keys) {
    PostMessageW(port.window(), WM_TRAY_NOTIFY, IDR_MAINFRAME, WM_RBUTTONDOWN);
    HWND popup = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
      popup = FindWindowW(L"#32768", nullptr);
      return popup != nullptr && IsWindowVisible(popup);
    }));
    std::vector<std::u16string> entries;
    if (!popup) return entries;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      wchar_t text[32] = {};
      GetMenuStringW(menu, i, text, 32, MF_BYPOSITION);
      const bool separator = GetMenuState(menu, i, MF_BYPOSITION) & MF_SEPARATOR;
      const std::string id = std::to_string(GetMenuItemID(menu, i));
      entries.push_back(separator ? u"-"
                                  : reinterpret_cast<const char16_t*>(text) + (u"=" + std::u16string(id.begin(), id.end())));
    }
    keys.push_back(VK_RETURN);
    for (const WPARAM key : keys) PostMessageW(popup, WM_KEYDOWN, key, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(popup); }));
    Send(WM_NULL, 0, 0);  // the chosen command, posted, has run
    return entries;
  }

  RecordingTrayShell shell;
  Win32UiPort port{GetModuleHandleW(nullptr), {}, shell.Hook()};
  FakePlatform fake;
  CQarxServiceDlg dlg{fake.platform};
  QuietDialog target{dlg, port};
};

TEST_F(Win32DialogCoreTest, HiddenUnlessDownloadingAndFollowsTheTrayDuringADownload) {
  const int result = RunModalWith(port, target, [&] {
    // The first showing's frame paint may come after the loop took the
    // first sent message: wait for the hide it brings.
    EXPECT_TRUE(WaitUntil([&] { return !Visible(); })) << "the first showing hides itself";
    Send(WM_COMMAND, ID_MENU_OPEN, 0);
    EXPECT_TRUE(WaitUntil([&] { return !Visible(); })) << "no download: Open cannot keep it";

    StartDownload();
    EXPECT_TRUE(Visible());
    NOTIFYICONDATAW tray = shell.lastRecord();
    EXPECT_EQ(tray.cbSize, sizeof(NOTIFYICONDATAW)) << "the running shell's size";
    EXPECT_EQ(tray.hWnd, port.window());
    EXPECT_EQ(tray.uID, 128u);
    EXPECT_EQ(tray.uFlags, 7u);
    EXPECT_EQ(tray.uCallbackMessage, 1126u);
    EXPECT_NE(tray.hIcon, nullptr);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(tray.szTip)), u"      VeltraneIC卡\r\n互联网终端服务程序!");

    Send(WM_TRAY_NOTIFY, IDR_MAINFRAME, WM_LBUTTONDOWN);
    EXPECT_FALSE(Visible()) << "a left click hides a shown dialog";
    Send(WM_TRAY_NOTIFY, 127, WM_LBUTTONDOWN);
    Send(WM_TRAY_NOTIFY, IDR_MAINFRAME, 0x0200 /* WM_MOUSEMOVE */);
    EXPECT_FALSE(Visible()) << "another icon or another mouse message does nothing";
    Send(WM_TRAY_NOTIFY, IDR_MAINFRAME, WM_LBUTTONDOWN);
    EXPECT_TRUE(Visible()) << "and shows a hidden one";

    EXPECT_EQ(ChooseFromMenu({VK_DOWN, VK_DOWN}), (std::vector<std::u16string>{u"打开=1127", u"-", u"最小化=1130", u"隐藏=1131", u"-",
                                                               u"退出=1128"}));
    // The menu's command arrives after the menu closes: wait for it.
    EXPECT_TRUE(WaitUntil([&] { return IsIconic(port.window()) != 0; })) << "the second entry down minimises";
    EXPECT_TRUE(Visible());
    Send(WM_TRAY_NOTIFY, IDR_MAINFRAME, WM_LBUTTONDOWN);
    EXPECT_FALSE(Visible());
    Send(WM_COMMAND, ID_MENU_OPEN, 0);
    EXPECT_TRUE(Visible());
    EXPECT_FALSE(IsIconic(port.window()));

    Send(WM_SYSCOMMAND, SC_CLOSE, 0);
    // The dialog manager posts the Cancel command, which a sent message
    // would overtake: wait for it.
    EXPECT_TRUE(WaitUntil([&] { return !Visible(); })) << "the close box hides";
    EXPECT_EQ(shell.lastRecord().uFlags, 7u) << "the icon stays while the download runs";

    EndDownload();
    EXPECT_FALSE(Visible());
    EXPECT_EQ(shell.lastRecord().uFlags, 0u) << "deleted with the bare record";
    Send(WM_COMMAND, ID_MENU_OPEN, 0);
    EXPECT_TRUE(WaitUntil([&] { return !Visible(); })) << "the download over: Open cannot keep it";
    Send(WM_COMMAND, ID_MENU_EXIT, 0);
  });
  EXPECT_EQ(result, IDCANCEL) << "Exit ends the run";
}

TEST_F(Win32DialogCoreTest, TheMenusLastEntryExits) {
  // Up from no choice lands on the last entry.
  EXPECT_EQ(RunModalWith(port, target, [&] {
              StartDownload();
              ChooseFromMenu({VK_UP});
            }),
            IDCANCEL);
  EXPECT_EQ(shell.lastRecord().uFlags, 0u) << "the icon is removed";
}

TEST_F(Win32DialogCoreTest, AWorkerEndsTheRunWithExitService) {
  EXPECT_EQ(RunModalWith(port, target, [&] { dlg.ExitService(); }), IDCANCEL);
  EXPECT_FALSE(dlg.PostMessage(WM_DOWNLOAD_REQUEST, 0, 1)) << "nothing reaches a dialog that has ended";
}

}  // namespace
}  // namespace qarx::win32
