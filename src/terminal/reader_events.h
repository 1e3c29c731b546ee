// WM_READER_EVENT to the dialog published for the card side.
#pragma once

#include "common/qarx_types.h"

namespace qarx {

struct ReaderSlot;

// Posts WM_READER_EVENT (code, slot) to the published dialog; nothing when
// none is published. The result of the post is not looked at.
void PostReaderEvent(ReaderEvent code, ReaderSlot* slot);

}  // namespace qarx
