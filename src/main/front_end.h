// The choice of front-end: QARX_UI=console|qt; by default qt when a display
// is present and this build has the Qt front-end, else the console.
#pragma once

#include <memory>
#include <string_view>

#include "platform/ui.h"

namespace qarx::service {

enum class FrontEndKind { Console, Qt };

// value: QARX_UI (null when unset); hasDisplay: DISPLAY or WAYLAND_DISPLAY set.
// An unknown or unavailable choice falls back to the default with one line
// through warn.
FrontEndKind ChooseFrontEnd(const char* value, bool hasDisplay, bool qtBuilt,
                            void (*warn)(std::string_view));

}  // namespace qarx::service
