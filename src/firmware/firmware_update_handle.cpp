#include "firmware/firmware_update_handle.h"

namespace qarx {

std::unique_ptr<NamedMutex> g_hFirmwareUpdateMutex;
std::mutex g_firmwareUpdateHandleLock;

void ReleaseFirmwareUpdateHandle() {
  std::lock_guard lock(g_firmwareUpdateHandleLock);
  if (!g_hFirmwareUpdateMutex) return;
  g_hFirmwareUpdateMutex->Release();
  g_hFirmwareUpdateMutex.reset();
}

}  // namespace qarx
