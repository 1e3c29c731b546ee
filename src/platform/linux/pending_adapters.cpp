// Adapters not written yet: each answers "not available" so the service still
// runs. Each is removed from here when its real adapter lands.
#include "platform/linux/linux_ports.h"

namespace qarx::linux_port {

namespace {


}  // namespace


}  // namespace qarx::linux_port
