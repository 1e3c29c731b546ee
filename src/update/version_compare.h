// Compares the installed versions of the browser control and the service
// program with the local copy of the update configuration (button 1007 and
// the start-up check).
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace qarx {

// Bits of the comparison's result.
inline constexpr uint32_t kNewerControl = 1;
inline constexpr uint32_t kNewerServer = 2;

inline constexpr std::u16string_view kNewerControlLine = u"检查到新的控件安装包!";
inline constexpr std::u16string_view kNoNewerControlLine = u"未检查到新的控件安装包!";
inline constexpr std::u16string_view kNewerServerLine = u"检查到新的服务程序安装包!";
inline constexpr std::u16string_view kNoNewerServerLine = u"未检查到新的服务程序安装包!";

// The update flags. A missing control key or unreadable control version
// gives 0 and the service program is not compared at all.
uint32_t CompareInstalledVersions(Platform& platform);

}  // namespace qarx
