#include "platform/portable/threads_std.h"

#include <chrono>
#include <thread>

namespace qarx::portable {

namespace {

class StdThreads final : public ThreadPort {
 public:
  bool StartDetached(std::function<void()> body) override {
    try {
      std::thread(std::move(body)).detach();
      return true;
    } catch (...) {  // std::system_error when the system has no thread left
      return false;
    }
  }
  void Sleep(uint32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace

std::unique_ptr<ThreadPort> MakeStdThreadPort() { return std::make_unique<StdThreads>(); }

}  // namespace qarx::portable
