// Handlers whose subsystems are not wired yet. Each subsystem removes its
// entries here when it brings the real ones.
#include "app/qarx_service_dlg.h"

namespace qarx {

}  // namespace qarx
