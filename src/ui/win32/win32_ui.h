// The Win32 front-end of the dialog.
#pragma once

#include <memory>

#include "platform/ui.h"

namespace qarx {

// The dialog's window system on Win32, with the template and icon of this
// program's resources. Returns null when this session cannot show windows
// (the caller then keeps the console).
std::unique_ptr<UiPort> MakeWin32Ui();

}  // namespace qarx
