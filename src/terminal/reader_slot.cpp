#include "terminal/reader_slot.h"

namespace qarx {

ReaderSlot g_readerSlots[kReaderSlotCount];

ReaderSlot* ClaimedReaderSlot(intptr_t address) {
  for (ReaderSlot& slot : g_readerSlots)
    if (reinterpret_cast<intptr_t>(&slot) == address) return slot.claimed.load() ? &slot : nullptr;
  return nullptr;
}

}  // namespace qarx
