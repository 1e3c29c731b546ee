// The start-up check of the PC, run once after the configuration was read.
#pragma once

#include <cstdint>
#include <string_view>

namespace qarx {

class CQarxServiceDlg;

// Thread body; returns 0.
int EnvironmentCheckJob(CQarxServiceDlg& dialog);

}  // namespace qarx
