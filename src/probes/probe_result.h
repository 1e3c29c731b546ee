// What a probe of the PC answers.
#pragma once

#include <cstdint>

namespace qarx {

enum ProbeResult : int32_t {
  kProbeOk = 0,       // found, installed, or nothing to do
  kProbeFailed = -1,  // not found, not installed, not readable, or a start that failed
};

}  // namespace qarx
