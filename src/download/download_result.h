// What a download ends with. FetchToTemp, the transfer loop and the package
// download job share these numbers; each operation's comment says which of
// them it gives.
#pragma once

#include <cstdint>

namespace qarx {

enum DownloadResult : int32_t {
  kDownloadOk = 0,
  // The temporary folder does not fit, or the full path would not; for the
  // job also a number that is no package kind.
  kDownloadNoFolder = -1,
  kDownloadUnknownKind = -1,
  kDownloadCannotCreate = -2,  // the local file cannot be created
  kDownloadNoClient = -3,      // no internet client handle
  kDownloadCannotOpen = -4,    // the URL cannot be opened, or answered outside 2xx
  kDownloadReadFailed = -5,
  kDownloadWriteFailed = -6,
  // The job's rejection of a package whose check failed, one per kind (see
  // the kinds table).
  kDownloadDriverRejected = -6,
  kDownloadControlRejected = -7,
  kDownloadProgramRejected = -8,
};

}  // namespace qarx
