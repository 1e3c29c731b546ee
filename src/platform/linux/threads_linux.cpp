#include <chrono>
#include <thread>

#include "platform/linux/linux_ports.h"

namespace qarx::linux_port {

namespace {

class LinuxThreads final : public ThreadPort {
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

std::unique_ptr<ThreadPort> MakeThreadPort() { return std::make_unique<LinuxThreads>(); }

}  // namespace qarx::linux_port
