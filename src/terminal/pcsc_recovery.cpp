#include "terminal/pcsc_recovery.h"

#include <algorithm>

namespace qarx {

bool IsServiceLost(int32_t rc) {
  return rc == SCARD_F_COMM_ERROR || rc == SCARD_E_NO_SERVICE || rc == SCARD_E_SERVICE_STOPPED ||
         rc == SCARD_E_INVALID_HANDLE;
}

void RetryPacer::Pause() {
  threads_.Sleep(nextPauseMs_);
  nextPauseMs_ = std::min(nextPauseMs_ * 2, kRetryMaxPauseMs);
}

ScardContext ReestablishContext(PcscPort& pcsc, RetryPacer& pacer, uint32_t scope, ScardContext context) {
  pcsc.ReleaseContext(context);
  for (;;) {
    ScardContext fresh = 0;
    if (pcsc.EstablishContext(scope, fresh) == SCARD_S_SUCCESS) {
      pacer.Reset();
      return fresh;
    }
    pacer.Pause();
  }
}

}  // namespace qarx
