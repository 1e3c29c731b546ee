// Waiting for a condition that another thread brings about.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace qarx::testing {

// Waits until probe() holds; false after guard (10 s unless given; a guard,
// not a measure).
inline bool WaitUntil(const std::function<bool()>& probe, std::chrono::seconds guard = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + guard;
  while (!probe()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace qarx::testing
