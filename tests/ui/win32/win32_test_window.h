// Helpers of the Win32 front-end tests: a run of the modal dialog with
// steps on a worker thread (as jobs and the user act from outside the
// user-interface thread), and reading windows back.
#pragma once

#include "platform/win32/windows_sdk.h"
// (the SDK first)
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "support/wait_until.h"
#include "ui/win32/win32_ui_port.h"

namespace qarx::testing {

// Runs target modally on this thread; steps run on a worker once the
// dialog's initialisation is over. Steps end the run; one that fails ends it
// with -1 so that the suite goes on.
inline int RunModalWith(win32::Win32UiPort& port, MessageTarget& target, const std::function<void()>& steps) {
  std::thread worker([&] {
    if (WaitUntil([&] { return port.window() != nullptr; })) {
      // A sent message runs once the modal loop takes messages, after
      // WM_INITDIALOG.
      SendMessageW(port.window(), WM_NULL, 0, 0);
      steps();
    }
    if (::testing::Test::HasFailure()) port.EndModal(-1);
  });
  const int result = port.RunModal(target);
  worker.join();
  return result;
}

// The shell as the port's tray calls reach it: each record is kept, then
// handed on to Shell_NotifyIconW.
class RecordingTrayShell {
 public:
  win32::Win32UiPort::TrayShell Hook() {
    return [this](DWORD action, const NOTIFYICONDATAW& record) {
      {
        std::lock_guard lock(mu_);
        last_ = record;
      }
      return Shell_NotifyIconW(action, const_cast<NOTIFYICONDATAW*>(&record)) != FALSE;
    };
  }
  NOTIFYICONDATAW lastRecord() const {
    std::lock_guard lock(mu_);
    return last_;
  }

 private:
  mutable std::mutex mu_;
  NOTIFYICONDATAW last_{};
};

inline std::u16string TextOf(HWND window) {
  wchar_t text[512] = {};
  const int length = GetWindowTextW(window, text, static_cast<int>(std::size(text)));
  return std::u16string(reinterpret_cast<const char16_t*>(text), length > 0 ? length : 0);
}

// The rectangle of a child in its parent's client coordinates.
inline RECT ChildRect(HWND parent, HWND child) {
  RECT rect{};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

inline std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

}  // namespace qarx::testing
