// On Windows the console's Ctrl-C, Ctrl-Break and close events end the
// service the way the tray menu's Exit does; the handler runs on a thread
// the system starts for it. So does the named exit event, which the
// uninstaller sets to end the service of its session before it removes the
// program (packaging/windows/qarx-service.nsi uses the same name).
#include "platform/win32/windows_sdk.h"

#include <utility>

#include "platform/exit_signals.h"
#include "platform/win32/win32_ports.h"

namespace qarx::os {

namespace {

// Session-local, like the single-instance mutex.
constexpr wchar_t kExitEventName[] = L"the Exit Event of the Veltrane IC Card Terminal Server!";

std::function<void()>& Handler() {
  static std::function<void()> handler;
  return handler;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  Handler()();
  return TRUE;
}

// The watching thread owns the event's handle for as long as it waits.
DWORD WINAPI WaitForExitEvent(LPVOID parameter) {
  const win32::Handle event(static_cast<HANDLE>(parameter));
  if (WaitForSingleObject(event.get(), INFINITE) == WAIT_OBJECT_0) Handler()();
  return 0;
}

// Manual reset: once set, every instance of the session sees it, also one
// that is just starting and would otherwise outlive the uninstaller's wait.
bool WatchExitEvent() {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, kExitEventName);
  if (!event) return false;
  const win32::Handle thread(CreateThread(nullptr, 0, WaitForExitEvent, event, 0, nullptr));
  if (!thread) CloseHandle(event);
  return static_cast<bool>(thread);
}

}  // namespace

bool WatchExitSignals(std::function<void()> onSignal) {
  Handler() = std::move(onSignal);
  const bool console = SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
  const bool event = WatchExitEvent();
  return console && event;
}

}  // namespace qarx::os
