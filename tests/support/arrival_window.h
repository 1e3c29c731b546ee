// Shows whether a lock keeps two threads apart, whatever the machine's load:
// the first thread to enter waits there until a second one enters too (the
// lock let it through: the overlap is seen) or until a window has passed in
// which it could have (the lock held it back). A fixed pause in its place
// would miss the overlap whenever the second thread comes late.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qarx::testing {

class ArrivalWindow {
 public:
  explicit ArrivalWindow(std::chrono::milliseconds window = std::chrono::milliseconds(300)) : window_(window) {}

  // At the start of the guarded stretch; the first caller waits here.
  void Enter() {
    std::unique_lock lock(mu_);
    if (inside_ > 0) overlapped_ = true;
    ++inside_;
    const bool first = entries_++ == 0;
    changed_.notify_all();
    if (first) changed_.wait_for(lock, window_, [this] { return entries_ > 1; });
  }
  // At its end.
  void Leave() {
    std::lock_guard lock(mu_);
    --inside_;
  }
  bool overlapped() const {
    std::lock_guard lock(mu_);
    return overlapped_;
  }

 private:
  const std::chrono::milliseconds window_;
  mutable std::mutex mu_;
  std::condition_variable changed_;
  int entries_ = 0;
  int inside_ = 0;
  bool overlapped_ = false;
};

}  // namespace qarx::testing
