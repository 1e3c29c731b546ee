// How the reader monitor and the watchers wait and recover on a resource
// manager that can go away (pcscd stopped, crashed or restarted) and that
// reports some failures at once, again and again. Every pacing constant of
// the card side is here.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace qarx {

// The monitor's wait on the plug-and-play pseudo-reader where the resource
// manager reports only the changes that happen during a call (pcsc-lite):
// the monitor re-lists the readers after every return, and this bounds how
// late a reader plugged in between two calls is noticed. Where the
// pseudo-reader counts the readers (winscard), the wait has no time-out.
inline constexpr uint32_t kPnpWaitMs = 1000;

// Pauses between failed attempts: the first, doubled after each further
// failure up to the ceiling; back to the first after a success.
inline constexpr uint32_t kRetryFirstPauseMs = 100;
inline constexpr uint32_t kRetryMaxPauseMs = 2000;

// The context is useless and must be released and established again: the
// service died (comm error), is gone (no service, stopped), or the handle
// belongs to a service that has since been restarted.
bool IsServiceLost(int32_t rc);

class RetryPacer {
 public:
  explicit RetryPacer(ThreadPort& threads) : threads_(threads) {}
  void Pause();  // sleeps the current pause, then doubles it up to the ceiling
  void Reset() { nextPauseMs_ = kRetryFirstPauseMs; }

 private:
  ThreadPort& threads_;
  uint32_t nextPauseMs_ = kRetryFirstPauseMs;
};

// Releases context and establishes a new one of scope, pausing between
// failed attempts for as long as it takes. Returns the new context.
ScardContext ReestablishContext(PcscPort& pcsc, RetryPacer& pacer, uint32_t scope, ScardContext context);

}  // namespace qarx
