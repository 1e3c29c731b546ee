#include "terminal/reader_slot.h"

namespace qarx {

ReaderSlot g_readerSlots[kReaderSlotCount];

}  // namespace qarx
