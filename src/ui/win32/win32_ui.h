// The Win32 front-end of the dialog.
#pragma once

#include <functional>
#include <memory>

#include "platform/ui.h"

namespace qarx {

// The dialog's window system on Win32, with the template and icon of this
// program's resources. Returns null when this session cannot show windows
// (the caller then keeps the console).
// sessionEnding finishes the process when the user signs out or Windows
// shuts down (after the dialog has ended its run).
std::unique_ptr<UiPort> MakeWin32Ui(std::function<void()> sessionEnding = {});

}  // namespace qarx
