// The reading loop on Windows: ReadFile on the input's handle. A blocked
// ReadFile on a pipe or console cannot be woken portably, so Stop does not
// join: it marks the reader stopped under the lock that every callback runs
// under, and the thread, which shares the state, ends on its own when its
// read returns.
#include <io.h>

#include <mutex>
#include <thread>

#include "platform/win32/windows_sdk.h"
#include "platform/line_reader.h"

namespace qarx::console {

struct LineReader::State {
  OnLine onLine;
  OnEnd onEnd;
  HANDLE input = INVALID_HANDLE_VALUE;
  std::mutex lock;
  bool stopped = false;

  void Run() {
    std::string pending;
    char buffer[4096];
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(input, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
      std::lock_guard guard(lock);
      if (stopped) return;
      pending.append(buffer, got);
      TakeLines(pending, onLine);
    }
    std::lock_guard guard(lock);
    if (stopped) return;
    if (!pending.empty()) onLine(std::move(pending));
    onEnd();
  }
};

LineReader::~LineReader() { Stop(); }

bool LineReader::Start(int fd, OnLine onLine, OnEnd onEnd) {
  state_ = std::make_shared<State>();
  state_->onLine = std::move(onLine);
  state_->onEnd = std::move(onEnd);
  state_->input = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  try {
    std::thread([state = state_] { state->Run(); }).detach();
  } catch (...) {
    state_->onEnd();
    return false;
  }
  return true;
}

void LineReader::Stop() {
  if (!state_) return;
  std::lock_guard guard(state_->lock);
  state_->stopped = true;
}

}  // namespace qarx::console
