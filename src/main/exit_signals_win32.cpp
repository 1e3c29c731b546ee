// On Windows the console's Ctrl-C, Ctrl-Break and close events end the
// service the way the tray menu's Exit does; the handler runs on a thread
// the system starts for it.
#include "platform/win32/windows_sdk.h"

#include <utility>

#include "main/exit_signals.h"

namespace qarx::service {

namespace {

std::function<void()>& Handler() {
  static std::function<void()> handler;
  return handler;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  Handler()();
  return TRUE;
}

}  // namespace

bool WatchExitSignals(std::function<void()> onSignal) {
  Handler() = std::move(onSignal);
  return SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
}

}  // namespace qarx::service
