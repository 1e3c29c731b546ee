// Waiting for a condition that another thread brings about.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace qarx::testing {

// Waits until probe() holds; false after 10 s (a guard, not a measure).
inline bool WaitUntil(const std::function<bool()>& probe) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!probe()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace qarx::testing
