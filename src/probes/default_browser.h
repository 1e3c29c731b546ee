// Finds the program that opens web addresses (button 1001 and the start-up
// check).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "probes/probe_result.h"

namespace qarx {

inline constexpr std::u16string_view kBrowserLine = u"系统默认浏览器为:%s!";
inline constexpr std::u16string_view kBrowserFailedLine = u"系统默认浏览器信息获取失败!";

// The file name, without ".exe", of the program in the http protocol's open
// command. kProbeOk with name and length written, or kProbeFailed with both
// untouched.
int32_t QueryDefaultBrowser(RegistryPort& registry, std::u16string& name, int32_t& length);

// Runs the probe and gives the log line of its result.
std::u16string BrowserLine(RegistryPort& registry);

}  // namespace qarx
