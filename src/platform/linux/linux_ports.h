// Factories of the Linux adapters, one per port. The console/Qt front-ends
// supply the UiPort themselves.
#pragma once

#include <memory>

#include "platform/os.h"

namespace qarx::linux_port {

QARX_OS_PORTS(QARX_DECLARE_ADAPTER_FACTORY)

}  // namespace qarx::linux_port
