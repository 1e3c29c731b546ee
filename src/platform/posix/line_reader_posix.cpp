// The reading loop on POSIX systems: poll on the input and on a wake pipe,
// so stopping wakes the thread and joins it; nothing polls on a timer.
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <fcntl.h>

#include "platform/line_reader.h"

namespace qarx::console {

struct LineReader::State {
  OnLine onLine;
  OnEnd onEnd;
  int wake[2] = {-1, -1};
  int fd = -1;
  pthread_t thread{};
  bool started = false;

  void Run() {
    std::string pending;
    char buffer[4096];
    for (;;) {
      pollfd fds[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[1].revents) return;  // stopped: the owner is going away
      if (fds[0].revents & POLLNVAL) break;
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got <= 0) break;
      pending.append(buffer, static_cast<size_t>(got));
      TakeLines(pending, onLine);
    }
    // A last line without its line end still counts.
    if (!pending.empty()) onLine(std::move(pending));
    onEnd();
  }
};

LineReader::~LineReader() { Stop(); }

bool LineReader::Start(int fd, OnLine onLine, OnEnd onEnd) {
  state_ = std::make_shared<State>();
  State& s = *state_;
  s.onLine = std::move(onLine);
  s.onEnd = std::move(onEnd);
  if (pipe2(s.wake, O_CLOEXEC) != 0) {
    s.onEnd();
    return false;
  }
  s.fd = fd;
  // pthread rather than std::thread: a failure comes back as a code, and a
  // reader that cannot start behaves like a closed input.
  auto body = [](void* self) -> void* {
    static_cast<State*>(self)->Run();
    return nullptr;
  };
  s.started = pthread_create(&s.thread, nullptr, body, &s) == 0;
  if (!s.started) s.onEnd();
  return s.started;
}

void LineReader::Stop() {
  if (!state_) return;
  State& s = *state_;
  if (s.started) {
    const char byte = 1;
    while (write(s.wake[1], &byte, 1) < 0 && errno == EINTR) {
    }
    pthread_join(s.thread, nullptr);
    s.started = false;
  }
  for (int& end : s.wake) {
    if (end >= 0) close(end);
    end = -1;
  }
}

}  // namespace qarx::console
