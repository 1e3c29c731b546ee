// The fixed table of watched readers.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace qarx {

inline constexpr int kReaderSlotCount = 32;

struct ReaderSlot {
  // The watcher last started for this slot (the monitor numbers the watchers
  // it starts from 1); 0 while none runs.
  std::atomic<uint64_t> watcherThread{0};
  // Set once by the monitor when it claims the slot, before any watcher or
  // job for the slot exists; never changed afterwards, so read without a lock.
  std::u16string readerName;
  std::atomic<int32_t> watching{0};
  // Set by the monitor once the name is in place: from then on reader events
  // may name the slot.
  std::atomic<bool> claimed{false};
};

extern ReaderSlot g_readerSlots[kReaderSlotCount];

// The slot of the table at that address, when the monitor has claimed it;
// null for any other value (a message some other program posted).
ReaderSlot* ClaimedReaderSlot(intptr_t address);

}  // namespace qarx
