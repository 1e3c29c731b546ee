// Reads lines from a file descriptor on a thread of its own and hands each
// to a callback; the end of input (EOF, error, no descriptor) is reported
// once. Stopping wakes the thread through a pipe, so nothing polls.
#pragma once

#include <functional>
#include <string>

#include <pthread.h>

namespace qarx::console {

class LineReader {
 public:
  using OnLine = std::function<void(std::string line)>;
  using OnEnd = std::function<void()>;
  LineReader() = default;
  ~LineReader();  // stops and joins
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Starts reading fd (not closed here). False when the thread or its wake
  // pipe cannot be made; onEnd has then been called.
  bool Start(int fd, OnLine onLine, OnEnd onEnd);
  void Stop();

 private:
  void Run();
  OnLine onLine_;
  OnEnd onEnd_;
  int wake_[2] = {-1, -1};
  int fd_ = -1;
  pthread_t thread_{};
  bool started_ = false;
};

}  // namespace qarx::console
