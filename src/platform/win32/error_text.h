// A Windows error number as the activity log file shows it.
#pragma once

#include <string>

namespace qarx::win32 {

inline std::string WindowsErrorText(unsigned long error) { return "Windows error " + std::to_string(error); }

}  // namespace qarx::win32
