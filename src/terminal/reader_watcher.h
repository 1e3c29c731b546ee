// One watcher thread per watched reader: reports card insertion and removal
// and frees its slot when the reader goes away.
#pragma once

#include <functional>

#include "platform/platform.h"
#include "terminal/reader_slot.h"

namespace qarx {

// The watcher thread's body. Returns when the reader is gone (slot idle,
// ended called, WatcherEnded posted) or at once when no context can be
// established (slot left as it is).
void ReaderWatcher(Platform& platform, ReaderSlot* slot, const std::function<void()>& ended = {});

}  // namespace qarx
