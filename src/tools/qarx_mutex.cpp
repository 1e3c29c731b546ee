// qarx-mutex NAME: creates the named mutex NAME (as the service and the
// programs it meets name them), waits until it owns it, prints "held", and
// keeps it until killed or until its standard input closes.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/text.h"
#include "platform/linux/linux_ports.h"
#include "platform/linux/named_mutex_linux.h"

namespace {

// Returns when standard input reaches its end (or cannot be read).
void DrainInput() {
  char buffer[256];
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got > 0) continue;
    if (got < 0 && errno == EINTR) continue;
    return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qarx-mutex NAME\n");
    return 2;
  }
  std::string folder;
  std::string error;
  if (!qarx::linux_port::MutexFolder(folder, error)) {
    std::fprintf(stderr, "qarx-mutex: %s\n", error.c_str());
    return 1;
  }
  // Closing standard input ends the command even while it still waits.
  std::thread([] {
    DrainInput();
    std::fflush(stdout);
    std::_Exit(0);
  }).detach();

  auto port = qarx::linux_port::MakeMutexPort();
  bool existed = false;
  auto mutex = port->Create(qarx::FromUtf8(argv[1]), true, existed);
  if (!mutex) {
    std::fprintf(stderr, "qarx-mutex: cannot create the mutex '%s' in %s\n", argv[1], folder.c_str());
    std::_Exit(1);
  }
  if (existed && !mutex->Wait()) {
    std::fprintf(stderr, "qarx-mutex: cannot wait for the mutex '%s'\n", argv[1]);
    std::_Exit(1);
  }
  std::printf("held\n");
  std::fflush(stdout);
  for (;;) pause();
}
