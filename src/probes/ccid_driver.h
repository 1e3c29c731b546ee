// Looks for an installed USB CCID smart-card reader driver among the INF files
// of the Windows inf folder (button 1004 and the start-up check below
// Windows 6).
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace qarx {

inline constexpr std::u16string_view kCcidFoundLine = u"检测到正常的CCID驱动!";
inline constexpr std::u16string_view kCcidMissingLine = u"未检测到CCID驱动!";

// True when an INF file declares the smart-card reader class with the catalog
// "usbccid.cat"; false in every other case.
bool FindCcidDriver(Platform& platform);

}  // namespace qarx
