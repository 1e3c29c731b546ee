// The process-wide handle of the firmware-update mutex: set by a firmware
// check that offers the update, released and cleared by the kind-4 download
// job when it ends (or by the check itself on a No).
#pragma once

#include <memory>
#include <mutex>
#include <string_view>

#include "platform/named_mutex.h"

namespace qarx {

inline constexpr std::u16string_view kFirmwareUpdateMutexName =
    u"the Mutex of the Veltrane IC Card Terminal InsertDev!";
inline constexpr std::u16string_view kUpdateToolMutexName =
    u"the Mutex of the Veltrane IC Card Terminal Update Tools!";

// Null while this process owns no offer or download of the update tool.
// Guarded by g_firmwareUpdateHandleLock for the pointer itself.
extern std::unique_ptr<NamedMutex> g_hFirmwareUpdateMutex;
extern std::mutex g_firmwareUpdateHandleLock;

// Releases the mutex, closes the handle and clears it, in this order, when it
// is set. Called by the kind-4 download job at its end.
void ReleaseFirmwareUpdateHandle();

}  // namespace qarx
