// Waiting for a condition that another thread brings about.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace qarx::testing {

// Waits until probe() holds; false after guard (30 s unless given, as the
// integration harness waits: a loaded machine under Wine is slow; a guard,
// not a measure).
inline bool WaitUntil(const std::function<bool()>& probe, std::chrono::seconds guard = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + guard;
  while (!probe()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace qarx::testing
