// The fixed table of watched readers.
#pragma once

#include <atomic>
#include <string>

namespace qarx {

inline constexpr int kReaderSlotCount = 32;

struct ReaderSlot {
  std::atomic<void*> watcherThread{nullptr};  // the watcher last started, null while none runs
  std::u16string readerName;                  // set once when the slot is claimed, never changed
  std::atomic<int32_t> watching{0};
};

extern ReaderSlot g_readerSlots[kReaderSlotCount];

}  // namespace qarx
