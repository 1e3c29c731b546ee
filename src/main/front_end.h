// The choice of front-end: QARX_UI=console|qt|win32; by default the build's
// desktop front-end (Qt on Linux, Win32 on Windows) when a display is
// present, else the console.
#pragma once

#include <functional>
#include <string_view>

namespace qarx::service {

enum class FrontEndKind { Console, Qt, Win32 };

// value: QARX_UI (null when unset); hasDisplay: a desktop to show windows on;
// desktop: the window-system front-end this build has (Console when none).
// An unknown or unavailable choice falls back to the default with one line
// through warn.
FrontEndKind ChooseFrontEnd(const char* value, bool hasDisplay, FrontEndKind desktop,
                            const std::function<void(std::string_view)>& warn);

}  // namespace qarx::service
