// The Win32 window system of the dialog: template 102 read back from the
// real window, the controls driven from a worker, the tray record, and
// message boxes asked from workers while the user-interface thread runs on.
#include "win32_test_window.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "common/qarx_types.h"
#include "support/dialog_template_rows.h"
#include "ui/win32/tray_record.h"

namespace qarx::win32 {
namespace {

using qarx::testing::ChildRect;
using qarx::testing::ControlRole;
using qarx::testing::Describe;
using qarx::testing::RunModalWith;
using qarx::testing::TextOf;
using qarx::testing::WaitUntil;

// Counts what the window system delivers; a timer of its own shows that the
// user-interface thread keeps running.
class CountingTarget : public MessageTarget {
 public:
  explicit CountingTarget(Win32UiPort& port) : port_(port) {}
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t) override {
    if (message == WM_INITDIALOG) {
      initOnUiThread = GetCurrentThreadId();
      port_.SetTimer(5, 10);
    }
    if (message == WM_TIMER && wParam == 5) ++ticks;
    if (message == WM_COMMAND) commands.push_back(static_cast<uint32_t>(wParam));
    return 0;
  }
  Win32UiPort& port_;
  std::atomic<DWORD> initOnUiThread{0};
  std::atomic<int> ticks{0};
  std::vector<uint32_t> commands;  // user-interface thread only
};

class Win32DialogTest : public ::testing::Test {
 protected:
  Win32UiPort port{GetModuleHandleW(nullptr)};
  CountingTarget target{port};
};

TEST_F(Win32DialogTest, BuildsTemplate102WithEveryControl) {
  const int result = RunModalWith(port, target, [&] {
    HWND dialog = port.window();
    EXPECT_EQ(TextOf(dialog), u"VeltraneIC卡互联网终端服务程序");
    const LONG style = GetWindowLongW(dialog, GWL_STYLE);
    static_assert(sizeof(LONG) == sizeof(DWORD));
    for (const DWORD bit : {DWORD{WS_POPUP}, DWORD{WS_CAPTION}, DWORD{WS_SYSMENU}, DWORD{WS_MINIMIZEBOX},
                            DWORD{DS_MODALFRAME}})
      EXPECT_TRUE(static_cast<DWORD>(style) & bit) << bit;
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    RECT size{0, 0, qarx::testing::kTemplateWidth, qarx::testing::kTemplateHeight};
    MapDialogRect(dialog, &size);
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(Describe(client), Describe(size));

    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(font), &font);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(font.lfFaceName)), u"微软雅黑");
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);

    const auto className = [](ControlRole role) -> std::u16string {
      switch (role) {
        case ControlRole::Button: return u"Button";
        case ControlRole::List: return u"ListBox";
        case ControlRole::Progress: return u"msctls_progress32";
        case ControlRole::Text: return u"Static";
      }
      return u"";
    };
    HWND previous = nullptr;
    for (const auto& row : qarx::testing::kTemplateRows) {
      SCOPED_TRACE(row.id);
      HWND control = GetDlgItem(dialog, static_cast<int>(row.id));
      ASSERT_NE(control, nullptr);
      EXPECT_EQ(GetWindow(control, GW_HWNDPREV), previous) << "template order";
      previous = control;
      wchar_t name[64] = {};
      GetClassNameW(control, name, 64);
      EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)), className(row.role));
      EXPECT_EQ(TextOf(control), row.text);
      EXPECT_EQ((GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0, row.visible);
      // The dialog manager converts position and size each on its own.
      RECT units{row.x, row.y, row.width, row.height};
      MapDialogRect(dialog, &units);
      const RECT expected{units.left, units.top, units.left + units.right, units.top + units.bottom};
      EXPECT_EQ(Describe(ChildRect(dialog, control)), Describe(expected));
    }
    // A bordered control of a 3-D dialog gets the sunken edge instead.
    const auto bordered = [](HWND control) {
      return (GetWindowLongW(control, GWL_STYLE) & WS_BORDER) || (GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    };
    HWND log = GetDlgItem(dialog, IDC_ACTIVITY_LOG);
    const LONG list = GetWindowLongW(log, GWL_STYLE);
    EXPECT_TRUE(list & LBS_NOTIFY);
    EXPECT_TRUE(list & LBS_NOINTEGRALHEIGHT);
    EXPECT_FALSE(list & LBS_SORT);
    EXPECT_TRUE(bordered(log));
    // The scroll bar shows once the lines overflow the box.
    for (int i = 0; i < 40; ++i) port.ListAddString(u"line");
    EXPECT_TRUE(GetWindowLongW(log, GWL_STYLE) & WS_VSCROLL);
    EXPECT_EQ(GetWindowLongW(GetDlgItem(dialog, IDC_STATUS), GWL_STYLE) & SS_TYPEMASK, SS_LEFT);
    port.EndModal(7);
  });
  EXPECT_EQ(result, 7) << "a worker's EndModal ends the run on this thread";
  EXPECT_EQ(target.initOnUiThread, GetCurrentThreadId());
  EXPECT_EQ(port.window(), nullptr);
}

TEST_F(Win32DialogTest, WorkersChangeTheControlsThroughTheirMessages) {
  RunModalWith(port, target, [&] {
    HWND dialog = port.window();
    HWND list = GetDlgItem(dialog, IDC_ACTIVITY_LOG);
    HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
    for (const char16_t* line : {u"系统信息为:Windows 7!", u"b", u"a"}) port.ListAddString(line);
    ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 3);
    wchar_t item[64] = {};
    SendMessageW(list, LB_GETTEXT, 2, reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(item)), u"a") << "not sorted";
    port.ListResetContent();
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 0);

    port.SetStatusText(u"正在下载最新程序……");
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_STATUS)), u"正在下载最新程序……");
    port.SetProgressRange(0, 100);
    port.SetProgressPos(42);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 42);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);

    // Commands of buttons and keys reach the target; Enter and Escape are
    // OK and Cancel, and the close box is Cancel too.
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1006, BN_CLICKED), 0);
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(dialog)) << "nothing but the target ends the run";
    EXPECT_TRUE(port.PostMessage(WM_DOWNLOAD_REQUEST, 0, 3));
    port.EndModal(IDCANCEL);
  });
  EXPECT_EQ(target.commands, (std::vector<uint32_t>{1006, IDCANCEL}));
  EXPECT_FALSE(port.PostMessage(WM_DOWNLOAD_REQUEST, 0, 3)) << "no window after the run";
}

// The open box of a worker, found by caption among this process's windows.
HWND FindBox(const wchar_t* caption) {
  HWND box = nullptr;
  WaitUntil([&] {
    box = FindWindowW(L"#32770", caption);
    return box != nullptr && IsWindowVisible(box);
  });
  return box;
}

TEST_F(Win32DialogTest, BoxesFromWorkersLeaveTheUserInterfaceRunning) {
  RunModalWith(port, target, [&] {
    std::atomic<int> question{-1};
    std::thread asker([&] {
      question = port.MessageBox(BoxOwner::Desktop, u"检查到控件有更新\r\n是否需要下载更新?", u"Veltrane服务程序提示",
                                 MB_YESNO | MB_ICONQUESTION);
    });
    HWND box = FindBox(L"Veltrane服务程序提示");
    ASSERT_NE(box, nullptr);
    EXPECT_NE(GetDlgItem(box, IDYES), nullptr);
    EXPECT_NE(GetDlgItem(box, IDNO), nullptr);
    EXPECT_EQ(GetDlgItem(box, IDOK), nullptr);
    // While it waits, timers fire and log lines arrive on the dialog.
    const int ticks = target.ticks;
    EXPECT_TRUE(WaitUntil([&] { return target.ticks >= ticks + 3; }));
    port.ListAddString(u"line");
    EXPECT_EQ(SendMessageW(GetDlgItem(port.window(), IDC_ACTIVITY_LOG), LB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(question, -1);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDNO)));
    asker.join();
    EXPECT_EQ(question, IDNO);

    std::atomic<int> error{-1};
    std::thread failing([&] {
      error = port.MessageBox(BoxOwner::None, u"Fail：start automatic monitor", u"Error", MB_OK | MB_SYSTEMMODAL);
    });
    box = FindBox(L"Error");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) << "system-modal boxes stay on top";
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    failing.join();
    EXPECT_EQ(error, IDOK);
    port.EndModal(IDCANCEL);
  });
}

TEST(TrayRecordTest, SizeIsTheRunningShells) {
  const struct {
    DWORD major, minor, size;
  } cases[] = {
      {10, 0, sizeof(NOTIFYICONDATAW)}, {6, 0, sizeof(NOTIFYICONDATAW)}, {6, 1, sizeof(NOTIFYICONDATAW)},
      {5, 2, NOTIFYICONDATAW_V3_SIZE},  {5, 1, NOTIFYICONDATAW_V3_SIZE},  {5, 0, NOTIFYICONDATAW_V2_SIZE},
      {4, 0, NOTIFYICONDATAW_V1_SIZE},
  };
  for (const auto& c : cases) EXPECT_EQ(NotifyIconDataSize(c.major, c.minor), c.size) << c.major << "." << c.minor;
}

// (The record's fields as the dialog sets them are read back in the core test.)
TEST(TrayRecordTest, CutsALongTipAndCarriesNoIconForADelete) {
  TrayIconData data;
  data.szTip.assign(200, u'x');
  HICON icon = reinterpret_cast<HICON>(0x5678);
  const NOTIFYICONDATAW record = MakeNotifyIconData(data, nullptr, icon, NOTIFYICONDATAW_V2_SIZE);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(record.szTip)), std::u16string(127, u'x'));
  EXPECT_EQ(record.hIcon, nullptr);
  EXPECT_EQ(record.cbSize, NOTIFYICONDATAW_V2_SIZE);
}

}  // namespace
}  // namespace qarx::win32
