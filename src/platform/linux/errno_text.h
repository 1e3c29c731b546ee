// The C library's words for an errno value, for the activity log file.
#pragma once

#include <string.h>

#include <string>

namespace qarx::linux_port {

inline std::string ErrnoText(int error) {
  char buffer[128];
  // The GNU strerror_r: the text is in buffer or a constant string.
  return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace qarx::linux_port
