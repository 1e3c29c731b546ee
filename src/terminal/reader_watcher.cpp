#include "terminal/reader_watcher.h"

#include "terminal/pcsc_recovery.h"
#include "terminal/reader_events.h"

namespace qarx {

namespace {

// At most one message per return, a card present tested first. Only the low
// 16 bits are state flags; the high half is the reader's event counter.
void ReportChange(ReaderState& state, ReaderSlot* slot) {
  const uint32_t changed = (state.currentState ^ state.eventState) & 0xFFFFu;
  state.currentState = state.eventState;
  const uint32_t newlySet = state.eventState & changed;
  if (newlySet & SCARD_STATE_PRESENT) {
    PostReaderEvent(kCardInserted, slot);
  } else if (newlySet & SCARD_STATE_EMPTY) {
    PostReaderEvent(kCardRemoved, slot);
  }
}

// The resource manager no longer knows the reader: it was unplugged.
// Besides "no readers", pcsc-lite reports an unplugged reader once as a state
// with UNKNOWN set and from then on as an unknown reader, at once, forever.
bool ReaderGone(int32_t rc, const ReaderState& state) {
  return rc == SCARD_E_NO_READERS_AVAILABLE || rc == SCARD_E_UNKNOWN_READER ||
         (rc == SCARD_S_SUCCESS && (state.eventState & SCARD_STATE_UNKNOWN) != 0);
}

}  // namespace

void ReaderWatcher(Platform& platform, ReaderSlot* slot, const std::function<void()>& ended) {
  PcscPort& pcsc = *platform.pcsc;
  ScardContext context = 0;
  if (pcsc.EstablishContext(SCARD_SCOPE_SYSTEM, context) != SCARD_S_SUCCESS) return;

  RetryPacer pacer(*platform.threads);
  ReaderState state;
  state.reader = slot->readerName;
  state.currentState = SCARD_STATE_UNAWARE;
  int32_t rc = pcsc.GetStatusChange(context, INFINITE_TIMEOUT, &state, 1);
  while (!ReaderGone(rc, state)) {
    if (IsServiceLost(rc)) {
      // The known state is kept: after the service is back only a real
      // change of the card is reported.
      context = ReestablishContext(pcsc, pacer, SCARD_SCOPE_SYSTEM, context);
    } else {
      ReportChange(state, slot);
      if (rc == SCARD_S_SUCCESS || rc == SCARD_E_TIMEOUT) {
        pacer.Reset();
      } else {
        pacer.Pause();
      }
    }
    rc = pcsc.GetStatusChange(context, INFINITE_TIMEOUT, &state, 1);
  }

  pcsc.ReleaseContext(context);
  // The reference first: once watching is 0 the monitor may start a new
  // watcher and record it.
  slot->watcherThread = 0;
  slot->watching = 0;
  if (ended) ended();
  PostReaderEvent(kWatcherEnded, slot);
}

}  // namespace qarx
