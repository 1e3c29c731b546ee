// ThreadPort on Windows: detached std::threads (winpthreads underneath) and Sleep.
#include "platform/win32/windows_sdk.h"

#include <thread>

#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

class Win32Threads final : public ThreadPort {
 public:
  bool StartDetached(std::function<void()> body) override {
    try {
      std::thread(std::move(body)).detach();
      return true;
    } catch (...) {  // std::system_error when no thread can be made
      return false;
    }
  }
  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

std::unique_ptr<ThreadPort> MakeThreadPort() { return std::make_unique<Win32Threads>(); }

}  // namespace qarx::win32
