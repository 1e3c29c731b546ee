#include "ui/console/line_reader.h"

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <fcntl.h>

namespace qarx::console {

LineReader::~LineReader() { Stop(); }

bool LineReader::Start(int fd, OnLine onLine, OnEnd onEnd) {
  onLine_ = std::move(onLine);
  onEnd_ = std::move(onEnd);
  if (pipe2(wake_, O_CLOEXEC) != 0) {
    onEnd_();
    return false;
  }
  fd_ = fd;
  // pthread rather than std::thread: a failure comes back as a code, and a
  // reader that cannot start behaves like a closed input.
  auto body = [](void* self) -> void* {
    static_cast<LineReader*>(self)->Run();
    return nullptr;
  };
  started_ = pthread_create(&thread_, nullptr, body, this) == 0;
  if (!started_) onEnd_();
  return started_;
}

void LineReader::Stop() {
  if (started_) {
    const char byte = 1;
    while (write(wake_[1], &byte, 1) < 0 && errno == EINTR) {
    }
    pthread_join(thread_, nullptr);
    started_ = false;
  }
  for (int& end : wake_) {
    if (end >= 0) close(end);
    end = -1;
  }
}

void LineReader::Run() {
  const int fd = fd_;
  std::string pending;
  char buffer[4096];
  for (;;) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
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
    std::string::size_type newline;
    while ((newline = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, newline);
      pending.erase(0, newline + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      onLine_(std::move(line));
    }
  }
  // A last line without its line end still counts.
  if (!pending.empty()) onLine_(std::move(pending));
  onEnd_();
}

}  // namespace qarx::console
