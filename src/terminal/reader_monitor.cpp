#include "terminal/reader_monitor.h"

#include <algorithm>

#include "terminal/reader_events.h"
#include "terminal/reader_watcher.h"

namespace qarx {

void StartReaderMonitor(Platform& platform) {
  if (platform.pcsc == nullptr) return;
  platform.threads->StartDetached([&platform] { ReaderMonitor(platform); });
}

void ReaderMonitor(Platform& platform) {
  ReaderMonitorLoop loop(platform, g_readerSlots);
  if (!loop.Start()) return;
  for (;;) loop.Pass();
}

ReaderMonitorLoop::ReaderMonitorLoop(Platform& platform, ReaderSlot (&slots)[kReaderSlotCount])
    : platform_(platform), slots_(slots), pacer_(*platform.threads) {
  pnp_.reader = kPnpNotificationReader;
  pnp_.currentState = SCARD_STATE_UNAWARE;
  relist_->pcsc = platform.pcsc;
}

// Its slot is idle now. The monitor may have listed the reader again while
// the slot was still watched (a quick re-plug) and then started an untimed
// wait: it is told to list once more.
void ReaderMonitorLoop::Relist::WatcherEnded() {
  pending = true;
  pcsc->Cancel(context);
}

ReaderMonitorLoop::~ReaderMonitorLoop() {
  if (started_) platform_.pcsc->ReleaseContext(context_);
}

bool ReaderMonitorLoop::Start() {
  int32_t established = platform_.pcsc->EstablishContext(SCARD_SCOPE_SYSTEM, context_);
  // The smart-card service is not running (yet): on Windows 8 and later it
  // starts with the first reader, on Linux pcscd may start after us. That is
  // no failure to show: wait for it, trying at most once a second.
  while (established == SCARD_E_NO_SERVICE || established == SCARD_E_SERVICE_STOPPED) {
    platform_.pcsc->WaitForServiceStart();
    platform_.threads->Sleep(kServiceStartRetryMs);
    established = platform_.pcsc->EstablishContext(SCARD_SCOPE_SYSTEM, context_);
  }
  if (established != SCARD_S_SUCCESS) {
    platform_.ui->MessageBox(BoxOwner::None, std::u16string(kMonitorStartFailedText),
                             std::u16string(kErrorCaption), MB_OK);
    return false;
  }
  started_ = true;
  relist_->context = context_;
  return true;
}

// The list comes first: the resource manager may hold back the first wait on
// the pseudo-reader until the next change, and readers attached before the
// start must be found at once.
void ReaderMonitorLoop::Pass() {
  std::u16string list;
  uint32_t length = kReaderListCapacity;
  const int32_t listed = platform_.pcsc->ListReaders(context_, list, length);
  if (listed == SCARD_S_SUCCESS) HandleReaderList(list, length);
  if (IsServiceLost(listed)) {
    Recover();
    return;
  }

  if (relist_->pending.exchange(false)) return;
  const uint32_t timeout = platform_.pcsc->PnpCountsReaders() ? INFINITE_TIMEOUT : kPnpWaitMs;
  const int32_t waited = platform_.pcsc->GetStatusChange(context_, timeout, &pnp_, 1);
  if (waited == SCARD_E_CANCELLED) return;  // a watcher ended: list again
  pnp_.currentState = pnp_.eventState;
  if (IsServiceLost(waited)) {
    Recover();
  } else if (waited == SCARD_S_SUCCESS || waited == SCARD_E_TIMEOUT) {
    pacer_.Reset();
  } else {
    pacer_.Pause();  // an error that returns at once must not turn the loop into a spin
  }
}

void ReaderMonitorLoop::HandleReaderList(const std::u16string& list, uint32_t length) {
  if (length <= 1) return;
  const size_t end = std::min<size_t>(length, list.size());
  size_t position = 0;
  while (position < end) {
    size_t stop = position;
    while (stop < end && list[stop] != u'\0') ++stop;
    HandleName(list.substr(position, stop - position));
    position = stop + 1;
    if (position + 1 >= length) break;  // the list ends with an empty name
  }
}

void ReaderMonitorLoop::HandleName(const std::u16string& name) {
  if (!name.starts_with(kReaderPrefix)) return;
  for (ReaderSlot& slot : slots_) {
    if (slot.readerName.empty()) {
      slot.readerName = name;
      slot.claimed = true;
      StartWatcher(slot);
      return;
    }
    if (slot.readerName == name) {
      if (slot.watching == 0) StartWatcher(slot);
      return;
    }
  }
  // All slots carry other names: this reader is ignored for the rest of the run.
}

// The slot shows its watcher before the watcher runs, so a watcher that ends
// at once always leaves its slot idle; a start that fails is undone.
void ReaderMonitorLoop::StartWatcher(ReaderSlot& slot) {
  slot.watcherThread = ++lastWatcherId_;
  slot.watching = 1;
  Platform& platform = platform_;
  ReaderSlot* target = &slot;
  std::shared_ptr<Relist> relist = relist_;
  if (!platform_.threads->StartDetached(
          [&platform, target, relist] { ReaderWatcher(platform, target, [relist] { relist->WatcherEnded(); }); })) {
    slot.watcherThread = 0;
    slot.watching = 0;
    return;
  }
  PostReaderEvent(kReaderArrived, &slot);
}

void ReaderMonitorLoop::Recover() {
  context_ = ReestablishContext(*platform_.pcsc, pacer_, SCARD_SCOPE_SYSTEM, context_);
  relist_->context = context_;
  pnp_.currentState = SCARD_STATE_UNAWARE;
  pnp_.eventState = 0;
}

}  // namespace qarx
