// The window system as the dialog sees it. A front-end (console, Qt, Win32)
// implements this port; the dialog core never touches a toolkit directly.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qarx {

// Receives every message of the dialog's window, on the user-interface thread.
class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  virtual intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

// The notification-area icon record (the fields the system uses).
struct TrayIconData {
  uint32_t cbSize = 956;
  uint32_t uID = 0;
  uint32_t uFlags = 0;            // NIF_MESSAGE | NIF_ICON | NIF_TIP = 7
  uint32_t uCallbackMessage = 0;  // WM_TRAY_NOTIFY
  uint32_t hIcon = 0;             // icon resource id
  std::u16string szTip;
};

// One pop-up menu entry; id 0 with empty text is a separator.
struct MenuItem {
  uint32_t id = 0;
  std::u16string text;
  bool separator() const { return id == 0 && text.empty(); }
};

enum class BoxOwner { Desktop, None };

class UiPort {
 public:
  virtual ~UiPort() = default;

  // ---- callable from any thread ----
  // Queues a message for the dialog; false when the queue is gone.
  virtual bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
  // A message box that blocks only the calling thread; returns IDOK/IDYES/IDNO.
  virtual int MessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                         uint32_t style) = 0;
  // MessageBox that calls opened, on the asking thread, once the box takes
  // its answer: whoever is told of the question then may answer at once.
  // Here opened comes just before MessageBox; a front-end whose box could
  // miss an answer given that early (the console's next input line)
  // overrides this.
  virtual int TrackedMessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                                uint32_t style, const std::function<void()>& opened) {
    opened();
    return MessageBox(owner, text, caption, style);
  }
  virtual void ShowWindow(int showCode) = 0;
  virtual bool IsWindowVisible() = 0;
  virtual bool TrayAdd(const TrayIconData& data) = 0;
  virtual bool TrayDelete(const TrayIconData& data) = 0;
  // Control messages: they run on the user-interface thread and the caller
  // waits until they have (SendMessage semantics).
  virtual void ListAddString(const std::u16string& line) = 0;  // control 1003
  virtual void ListResetContent() = 0;
  virtual void SetStatusText(const std::u16string& text) = 0;  // control 1009
  virtual void SetProgressRange(int low, int high) = 0;        // control 1008
  virtual void SetProgressStep(int step) = 0;
  virtual void SetProgressPos(int pos) = 0;
  // Ends the modal run: marks it ended and wakes the loop, which returns on
  // its own thread.
  virtual void EndModal(int result) = 0;

  // ---- user-interface thread only ----
  // Creates the dialog from its template, sends WM_INITDIALOG to target, shows
  // the window and dispatches messages to target until EndModal.
  virtual int RunModal(MessageTarget& target) = 0;
  virtual void SetIcon(uint32_t iconId, bool big) = 0;
  virtual bool SetTimer(uint32_t id, uint32_t elapseMs) = 0;
  virtual bool KillTimer(uint32_t id) = 0;
  virtual bool IsIconic() = 0;
  virtual void GetClientSize(int& width, int& height) = 0;
  virtual void DrawIcon(int x, int y) = 0;  // the application icon, while minimised
  virtual void SetForegroundWindow() = 0;
  // Shows the menu at the cursor, tracking the right button; a choice arrives
  // later as WM_COMMAND with the entry's id.
  virtual void TrackPopupMenu(const std::vector<MenuItem>& items) = 0;
  virtual int GetSystemMetrics(int index) = 0;  // SM_CXICON 11, SM_CYICON 12
};

}  // namespace qarx
