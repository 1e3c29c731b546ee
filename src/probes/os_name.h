// Names the Windows version the system runs on (button 1000 and the start-up
// check).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system_info.h"
#include "probes/probe_result.h"

namespace qarx {

inline constexpr std::u16string_view kOsInfoLine = u"系统信息为:%s!";
inline constexpr std::u16string_view kOsInfoFailedLine = u"系统信息获取失败!";

// kProbeOk or kProbeFailed. name and length are written only on rows that give a name;
// majorVersion only once the platform id is known to be 2 (also on the
// failing 6.x row).
int32_t QueryOsName(SystemInfoPort& system, std::u16string& name, int32_t& length,
                    std::atomic<int32_t>& majorVersion);

// Runs the probe and gives the log line of its result.
std::u16string OsInfoLine(SystemInfoPort& system, std::atomic<int32_t>& majorVersion);

}  // namespace qarx
