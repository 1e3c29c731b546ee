// Files of the temporary folder, addressed by their fixed names.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace qarx {

// The temporary folder followed directly by name. False when the folder's
// path does not fit 260 code units, or the joined path does not fit them
// with its terminator either.
bool TempFilePath(Platform& platform, std::u16string_view name, std::u16string& path);

// The file of that name held (see FilePort::HoldFile); null when it cannot be.
std::unique_ptr<HeldFile> HoldTempFile(Platform& platform, std::u16string_view name);

}  // namespace qarx
