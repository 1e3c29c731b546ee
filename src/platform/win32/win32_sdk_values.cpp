// Compile-time proof that the ports' constants are the SDK's values.
#include "platform/win32/windows_sdk.h"

#include "app/qarx_service_dlg.h"
#include "common/qarx_types.h"
#include "platform/http.h"
#include "platform/pcsc.h"
#include "platform/registry.h"

namespace qarx::win32 {

#define QARX_CHECK_SDK_VALUE(name)                                                              \
  static_assert(static_cast<unsigned long long>(static_cast<unsigned long>(qarx::name)) == sdk::name##_, \
                #name " differs from the Windows SDK");
QARX_SDK_SHARED_VALUES(QARX_CHECK_SDK_VALUE)
#undef QARX_CHECK_SDK_VALUE

// Fields the shell's tray record takes from the core.
static_assert(kTrayIconFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP));

}  // namespace qarx::win32
