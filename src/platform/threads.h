// Detached worker threads and pauses.
#pragma once

#include <cstdint>
#include <functional>

namespace qarx {

class ThreadPort {
 public:
  virtual ~ThreadPort() = default;
  // Starts body on a new thread that is never joined; false if it could not start.
  virtual bool StartDetached(std::function<void()> body) = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
};

}  // namespace qarx
