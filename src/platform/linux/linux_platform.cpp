#include "platform/linux/linux_ports.h"
#include "platform/os.h"
#include "platform/portable/threads_std.h"

namespace qarx::linux_port {

std::unique_ptr<ThreadPort> MakeThreadPort() { return portable::MakeStdThreadPort(); }

}  // namespace qarx::linux_port

namespace qarx::os {

std::unique_ptr<OsPlatform> MakePlatform() {
  auto p = std::make_unique<OsPlatform>();
#define QARX_MAKE_ADAPTER(Port, member) p->member = linux_port::Make##Port();
  QARX_OS_PORTS(QARX_MAKE_ADAPTER)
#undef QARX_MAKE_ADAPTER
  return p;
}

}  // namespace qarx::os
