// Where the local copy of the update configuration lives.
#pragma once

#include <string>

#include "platform/platform.h"

namespace qarx {

// The temporary folder followed by "VLT_Terminal_SetupConfig.ini". False when
// the temporary folder's path does not fit 260 code units.
bool ConfigCopyPath(Platform& platform, std::u16string& path);

}  // namespace qarx
