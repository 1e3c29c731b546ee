// Helpers of the Qt front-end tests: a target that records what the window
// system delivers, a way to run steps inside a modal run, and the windows a
// user would see, found as Qt knows them.
#pragma once

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTimer>

#include "platform/ui.h"
#include "ui/qt/qt_ui_port.h"

namespace qarx::testing {

struct Delivered {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
  bool onUiThread;
};

class RecordingTarget : public MessageTarget {
 public:
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    const Delivered delivered{message, wParam, lParam, std::this_thread::get_id() == uiThread_};
    received.push_back(delivered);
    if (onMessage) onMessage(delivered);
    return 0;
  }
  std::vector<Delivered> Of(uint32_t message) const {
    std::vector<Delivered> found;
    for (const Delivered& d : received) {
      if (d.message == message) found.push_back(d);
    }
    return found;
  }
  std::vector<Delivered> received;
  std::function<void(const Delivered&)> onMessage;

 private:
  std::thread::id uiThread_ = std::this_thread::get_id();
};

// The dialog's window (one port at a time).
inline qt::DialogWindow* TheDialog() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = dynamic_cast<qt::DialogWindow*>(widget)) return dialog;
  }
  return nullptr;
}

// What of type T the dialog's window shows now (a deleted one is hidden
// first, and may wait for its deletion).
template <typename T>
T* ShownChild() {
  qt::DialogWindow* dialog = TheDialog();
  if (!dialog) return nullptr;
  for (T* child : dialog->findChildren<T*>()) {
    if (child->isVisible()) return child;
  }
  return nullptr;
}
inline QSystemTrayIcon* TrayIcon() { return ShownChild<QSystemTrayIcon>(); }
inline QMenu* PopupMenu() { return ShownChild<QMenu>(); }

// The message boxes open now.
inline std::vector<QMessageBox*> OpenBoxes() {
  std::vector<QMessageBox*> open;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box && box->isVisible()) open.push_back(box);
  }
  return open;
}

// Delivers everything queued so far (posted messages, queued calls).
inline void Drain() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

// Runs target modally; steps run once the loop is up. A run that the steps do
// not end within 20 s is ended with -1 so a fault cannot hang the suite.
inline int RunModalWith(qt::QtUiPort& port, MessageTarget& target, std::function<void()> steps) {
  QTimer::singleShot(0, steps);
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&port] { port.EndModal(-1); });
  watchdog.start(20000);
  return port.RunModal(target);
}

}  // namespace qarx::testing
