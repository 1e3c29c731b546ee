#include "platform/win32/windows_sdk.h"

#include "platform/os.h"
#include "platform/portable/threads_std.h"
#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

std::unique_ptr<ThreadPort> MakeThreadPort() { return portable::MakeStdThreadPort(); }

}  // namespace qarx::win32

namespace qarx::os {

std::unique_ptr<OsPlatform> MakePlatform() {
  auto p = std::make_unique<OsPlatform>();
#define QARX_MAKE_ADAPTER(Port, member) p->member = win32::Make##Port();
  QARX_OS_PORTS(QARX_MAKE_ADAPTER)
#undef QARX_MAKE_ADAPTER
  return p;
}

}  // namespace qarx::os
