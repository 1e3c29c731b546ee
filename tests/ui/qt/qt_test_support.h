// Helpers of the Qt front-end tests: a target that records what the window
// system delivers, and a way to run steps inside a modal run.
#pragma once

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <QCoreApplication>
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
