#include "platform/exit_signals.h"

#include <pthread.h>
#include <signal.h>

#include <memory>

namespace qarx::os {

namespace {

struct Watch {
  sigset_t signals;
  std::function<void()> onSignal;
};

// The watching thread; it runs as long as the process. The blocked set it
// inherited makes the signals wait for its sigwait.
void* WatchLoop(void* argument) {
  const std::unique_ptr<Watch> watch(static_cast<Watch*>(argument));
  for (;;) {
    int signal = 0;
    if (sigwait(&watch->signals, &signal) == 0) watch->onSignal();
  }
  return nullptr;
}

}  // namespace

bool WatchExitSignals(std::function<void()> onSignal) {
  auto watch = std::make_unique<Watch>();
  sigemptyset(&watch->signals);
  sigaddset(&watch->signals, SIGTERM);
  sigaddset(&watch->signals, SIGINT);
  watch->onSignal = std::move(onSignal);

  sigset_t previous;
  if (pthread_sigmask(SIG_BLOCK, &watch->signals, &previous) != 0) return false;
  pthread_t thread;
  if (pthread_create(&thread, nullptr, &WatchLoop, watch.get()) != 0) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return false;
  }
  watch.release();  // the thread owns it now
  pthread_detach(thread);
  return true;
}

}  // namespace qarx::os
