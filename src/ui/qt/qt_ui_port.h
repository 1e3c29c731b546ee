// The window system for the dialog on Qt 6 Widgets: the window of template
// 102, the notification-area icon (a child of that window), the pop-up menu,
// message boxes, timers and the message queue. Every call from a worker
// thread is carried to the user-interface thread through the emulated
// window system's queue, which Qt's event loop runs; control messages wait
// there like SendMessage, posts are queued, and a worker's message box waits
// for its answer without holding the user-interface thread.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <vector>

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include "platform/ui.h"
#include "ui/emulated/ui_queue.h"
#include "ui/qt/dialog_window.h"
#include "ui/qt/queue_pump.h"

class QEventLoop;

namespace qarx::qt {

// The mouse message that a tray activation stands for (0: none).
intptr_t MouseMessageOf(QSystemTrayIcon::ActivationReason reason);

class QtUiPort final : public UiPort {
 public:
  // app: the application this port owns, or null when the caller keeps one.
  explicit QtUiPort(std::unique_ptr<QApplication> app);
  ~QtUiPort() override;
  QtUiPort(const QtUiPort&) = delete;
  QtUiPort& operator=(const QtUiPort&) = delete;

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

 private:
  // All below run on the user-interface thread.
  void Deliver(uint32_t message, uintptr_t wParam, intptr_t lParam);
  void ApplyShow(int showCode);
  void OpenBox(const std::u16string& text, const std::u16string& caption, uint32_t style,
               std::shared_ptr<emulated::UiQueue::Reply> reply);
  void EndRun();

  // Declared first so that it goes last: every widget needs it.
  std::unique_ptr<QApplication> app_;
  QObject context_;
  QueuePump pump_;
  emulated::UiQueue queue_;
  QIcon icon_;
  std::unique_ptr<DialogWindow> dialog_;
  QPointer<QSystemTrayIcon> tray_;
  QPointer<QMenu> menu_;
  std::map<uint32_t, QPointer<QTimer>> timers_;
  std::vector<QPointer<QMessageBox>> boxes_;
  MessageTarget* target_ = nullptr;
  QEventLoop* loop_ = nullptr;
  bool applyingShow_ = false;
  int progressStep_ = 1;
  std::atomic<bool> ended_{false};
  std::atomic<int> result_{0};
};

}  // namespace qarx::qt
