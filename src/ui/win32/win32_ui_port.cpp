#include "platform/win32/windows_sdk.h"
// (the SDK first)
#include "ui/win32/win32_ui_port.h"

#include "common/qarx_types.h"
#include "platform/win32/win32_ports.h"
#include "ui/win32/tray_record.h"

namespace qarx::win32 {

namespace {

struct MenuDeleter {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using Menu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

HICON LoadAppIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                       ::GetSystemMetrics(widthMetric), ::GetSystemMetrics(heightMetric),
                                       LR_DEFAULTCOLOR));
}

DWORD RunningTrayRecordSize() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const bool known = GetVersionExW(&version) != FALSE;
#pragma GCC diagnostic pop
  return known ? NotifyIconDataSize(version.dwMajorVersion, version.dwMinorVersion) : sizeof(NOTIFYICONDATAW);
}

}  // namespace

Win32UiPort::Win32UiPort(HINSTANCE instance, std::function<void()> sessionEnding, TrayShell shell)
    : instance_(instance),
      sessionEnding_(std::move(sessionEnding)),
      shell_(shell ? std::move(shell) : [](DWORD action, const NOTIFYICONDATAW& record) {
        return Shell_NotifyIconW(action, const_cast<NOTIFYICONDATAW*>(&record)) != FALSE;
      }),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")),
      bigIcon_(LoadAppIcon(instance, SM_CXICON, SM_CYICON)),
      smallIcon_(LoadAppIcon(instance, SM_CXSMICON, SM_CYSMICON)),
      trayRecordSize_(RunningTrayRecordSize()) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
}

Win32UiPort::~Win32UiPort() = default;

INT_PTR CALLBACK Win32UiPort::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Win32UiPort*>(GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Win32UiPort*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->window_ = window;
  }
  // Messages before WM_INITDIALOG (the font) get the default handling.
  if (!self || !self->target_) return FALSE;
  return self->Route(window, message, wParam, lParam);
}

INT_PTR Win32UiPort::Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Explorer restarted: the dialog decides whether an icon must come back.
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    target_->WindowProc(WM_TASKBAR_CREATED, 0, 0);
    return TRUE;
  }
  switch (message) {
    case WM_QUERYENDSESSION:
      // Nothing here needs saving: the session may end.
      SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_ENDSESSION:
      target_->WindowProc(message, wParam, lParam);
      // Windows may end the process as soon as this returns: finish now.
      if (wParam && sessionEnding_) sessionEnding_();
      SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_INITDIALOG:
      return target_->WindowProc(message, 0, 0) != 0 ? TRUE : FALSE;
    case kEndRunMessage:
      EndDialog(window, result_);
      return TRUE;
    case WM_PAINT:
      return Paint(window);
    case WM_QUERYDRAGICON:
      target_->WindowProc(message, wParam, lParam);
      return reinterpret_cast<INT_PTR>(bigIcon_.get());
    case WM_COMMAND:
      // The dialog decides for OK and Cancel too: Escape and the close box
      // only hide it.
      target_->WindowProc(message, wParam, lParam);
      return TRUE;
    default: {
      const intptr_t result = target_->WindowProc(message, wParam, lParam);
      if (message >= WM_USER && message < WM_APP) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
      }
      // The window system's own handling follows (WM_NCPAINT paints the frame).
      return FALSE;
    }
  }
}

INT_PTR Win32UiPort::Paint(HWND window) {
  if (!::IsIconic(window)) {
    target_->WindowProc(WM_PAINT, 0, 0);
    return FALSE;  // the dialog's normal painting
  }
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  paintDc_ = dc;
  target_->WindowProc(WM_PAINT, 0, 0);
  paintDc_ = nullptr;
  EndPaint(window, &paint);
  return TRUE;
}

int Win32UiPort::RunModal(MessageTarget& target) {
  ended_ = false;
  result_ = 0;
  target_ = &target;
  uiThread_ = GetCurrentThreadId();
  const INT_PTR result = DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_QARXSERVICE_DIALOG), nullptr,
                                         &Win32UiPort::DialogProc, reinterpret_cast<LPARAM>(this));
  window_ = nullptr;
  target_ = nullptr;
  return result == -1 ? -1 : static_cast<int>(result);
}

void Win32UiPort::EndModal(int result) {
  result_ = result;
  ended_ = true;
  HWND window = window_;
  if (!window) return;
  if (GetCurrentThreadId() == uiThread_) {
    EndDialog(window, result);
  } else {
    // EndDialog belongs to the window's own thread: it is woken to call it.
    PostMessageW(window, kEndRunMessage, 0, 0);
  }
}

bool Win32UiPort::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  HWND window = window_;
  return window && PostMessageW(window, message, wParam, lParam) != FALSE;
}

int Win32UiPort::MessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                            uint32_t style) {
  HWND ownerWindow = owner == BoxOwner::Desktop ? GetDesktopWindow() : nullptr;
  return MessageBoxW(ownerWindow, Wide(text), Wide(caption), style);
}

void Win32UiPort::ShowWindow(int showCode) {
  if (HWND window = window_) ::ShowWindow(window, showCode);
}

bool Win32UiPort::IsWindowVisible() {
  HWND window = window_;
  return window && ::IsWindowVisible(window) != FALSE;
}

bool Win32UiPort::Notify(DWORD action, const TrayIconData& data) {
  return shell_(action, MakeNotifyIconData(data, window_, smallIcon_.get(), trayRecordSize_));
}

bool Win32UiPort::TrayAdd(const TrayIconData& data) { return Notify(NIM_ADD, data); }

bool Win32UiPort::TrayDelete(const TrayIconData& data) { return Notify(NIM_DELETE, data); }

LRESULT Win32UiPort::SendToControl(int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = window_;
  HWND control = window ? GetDlgItem(window, id) : nullptr;
  return control ? SendMessageW(control, message, wParam, lParam) : 0;
}

void Win32UiPort::ListAddString(const std::u16string& line) {
  SendToControl(IDC_ACTIVITY_LOG, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(line)));
}

void Win32UiPort::ListResetContent() { SendToControl(IDC_ACTIVITY_LOG, LB_RESETCONTENT, 0, 0); }

void Win32UiPort::SetStatusText(const std::u16string& text) {
  SendToControl(IDC_STATUS, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(text)));
}

void Win32UiPort::SetProgressRange(int low, int high) {
  SendToControl(IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void Win32UiPort::SetProgressStep(int step) { SendToControl(IDC_PROGRESS, PBM_SETSTEP, step, 0); }

void Win32UiPort::SetProgressPos(int pos) { SendToControl(IDC_PROGRESS, PBM_SETPOS, pos, 0); }

void Win32UiPort::SetIcon(uint32_t, bool big) {
  if (HWND window = window_) {
    SendMessageW(window, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                 reinterpret_cast<LPARAM>(big ? bigIcon_.get() : smallIcon_.get()));
  }
}

bool Win32UiPort::SetTimer(uint32_t id, uint32_t elapseMs) {
  HWND window = window_;
  return window && ::SetTimer(window, id, elapseMs, nullptr) != 0;
}

bool Win32UiPort::KillTimer(uint32_t id) {
  HWND window = window_;
  return window && ::KillTimer(window, id) != FALSE;
}

bool Win32UiPort::IsIconic() {
  HWND window = window_;
  return window && ::IsIconic(window) != FALSE;
}

void Win32UiPort::GetClientSize(int& width, int& height) {
  RECT client{};
  if (HWND window = window_) GetClientRect(window, &client);
  width = client.right - client.left;
  height = client.bottom - client.top;
}

void Win32UiPort::DrawIcon(int x, int y) {
  HWND window = window_;
  if (!window) return;
  if (paintDc_) {
    ::DrawIcon(paintDc_, x, y, bigIcon_.get());
    return;
  }
  HDC dc = GetDC(window);
  ::DrawIcon(dc, x, y, bigIcon_.get());
  ReleaseDC(window, dc);
}

void Win32UiPort::SetForegroundWindow() {
  if (HWND window = window_) ::SetForegroundWindow(window);
}

void Win32UiPort::TrackPopupMenu(const std::vector<MenuItem>& items) {
  HWND window = window_;
  if (!window) return;
  Menu menu(CreatePopupMenu());
  if (!menu) return;
  for (const MenuItem& item : items) {
    if (item.separator()) {
      AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuW(menu.get(), MF_STRING, item.id, Wide(item.text));
    }
  }
  POINT cursor{};
  GetCursorPos(&cursor);
  ::TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window,
                   nullptr);
  // The shell's advice: a message after the menu, so that it opens again
  // properly the next time.
  PostMessageW(window, WM_NULL, 0, 0);
}

int Win32UiPort::GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

}  // namespace qarx::win32
