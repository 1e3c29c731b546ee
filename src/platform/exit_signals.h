// SIGTERM and SIGINT end the service the way the tray menu's Exit does (a
// desktop session ends it with SIGTERM, a terminal with Ctrl-C); on Windows,
// the console's Ctrl-C, Ctrl-Break and close events do, and the named exit
// event that the uninstaller sets. Each OS's adapter folder implements it
// (exit_signals_<os>.cpp).
#pragma once

#include <functional>

namespace qarx::os {

// Blocks SIGTERM and SIGINT in the calling thread, and so in every thread it
// starts afterwards: call it first in main, before any other thread exists.
// A thread of its own then takes the signals with sigwait and calls onSignal
// for each, so nothing runs inside a signal handler. False when the thread
// cannot be started (the signals then keep their default action).
bool WatchExitSignals(std::function<void()> onSignal);

}  // namespace qarx::os
