// The window system for the dialog on Win32: the modal dialog of template
// 102 with every message routed to the dialog's WindowProc, its controls
// changed by their own messages (sent, so a worker waits until the
// user-interface thread has run them), posted messages, timers, the
// notification-area icon, the pop-up menu and message boxes asked from any
// thread. Include platform/win32/windows_sdk.h first.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "common/qarx_types.h"
#include "platform/ui.h"

namespace qarx::win32 {

// A message of our own that ends the modal run on its own thread.
inline constexpr UINT kEndRunMessage = WM_APP + 1;

class Win32UiPort final : public UiPort {
 public:
  // Hands a notification-area record to the shell; true when it took it.
  using TrayShell = std::function<bool(DWORD action, const NOTIFYICONDATAW& record)>;

  // instance: the module holding the dialog template and the icon.
  // sessionEnding: called on the user-interface thread once the dialog has
  // taken WM_ENDSESSION, to finish the process before Windows ends it.
  // shell: Shell_NotifyIconW unless given.
  explicit Win32UiPort(HINSTANCE instance, std::function<void()> sessionEnding = {}, TrayShell shell = {});
  ~Win32UiPort() override;
  Win32UiPort(const Win32UiPort&) = delete;
  Win32UiPort& operator=(const Win32UiPort&) = delete;

  bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  int MessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                 uint32_t style) override;
  void ShowWindow(int showCode) override;
  bool IsWindowVisible() override;
  bool TrayAdd(const TrayIconData& data) override;
  bool TrayDelete(const TrayIconData& data) override;
  void ListAddString(const std::u16string& line) override;
  void ListResetContent() override;
  void SetStatusText(const std::u16string& text) override;
  void SetProgressRange(int low, int high) override;
  void SetProgressStep(int step) override;
  void SetProgressPos(int pos) override;
  void EndModal(int result) override;
  int RunModal(MessageTarget& target) override;
  void SetIcon(uint32_t iconId, bool big) override;
  bool SetTimer(uint32_t id, uint32_t elapseMs) override;
  bool KillTimer(uint32_t id) override;
  bool IsIconic() override;
  void GetClientSize(int& width, int& height) override;
  void DrawIcon(int x, int y) override;
  void SetForegroundWindow() override;
  void TrackPopupMenu(const std::vector<MenuItem>& items) override;
  int GetSystemMetrics(int index) override;

  // The dialog's window while the modal run lasts, else null.
  HWND window() const { return window_.load(); }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Paint(HWND window);
  LRESULT SendToControl(int id, UINT message, WPARAM wParam, LPARAM lParam);
  bool Notify(DWORD action, const TrayIconData& data);

  struct IconDeleter {
    void operator()(HICON icon) const { DestroyIcon(icon); }
  };
  using Icon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

  HINSTANCE instance_;
  std::function<void()> sessionEnding_;
  TrayShell shell_;
  const UINT taskbarCreated_;  // the shell's registered "TaskbarCreated"
  Icon bigIcon_;
  Icon smallIcon_;
  DWORD trayRecordSize_;
  std::atomic<HWND> window_{nullptr};
  std::atomic<DWORD> uiThread_{0};
  MessageTarget* target_ = nullptr;
  HDC paintDc_ = nullptr;  // while WM_PAINT of a minimised dialog runs
  std::atomic<bool> ended_{false};
  std::atomic<int> result_{0};
};

}  // namespace qarx::win32
