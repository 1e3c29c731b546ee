// The Qt 6 Widgets front-end of the dialog.
#pragma once

#include <memory>

#include "platform/ui.h"

namespace qarx {

// Builds the Qt application and the dialog's window system. Returns null when
// no display can be opened (the caller then keeps another front-end). argc
// and argv must outlive the returned port.
std::unique_ptr<UiPort> MakeQtUi(int& argc, char** argv);

}  // namespace qarx
