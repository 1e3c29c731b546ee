// The four small file operations of the download subsystem: fetch a file
// into the temporary folder, start a file from it, and the two hooks the
// package download job consults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "download/download_result.h"
#include "download/transfer.h"
#include "platform/platform.h"

namespace qarx {

// Starting a file of the temporary folder.
enum LaunchResult : int32_t {
  kLaunchStarted = 0,
  kLaunchNotStarted = -1,
};

// The check of a package before it is offered.
enum PackageCheck : int32_t {
  kPackageAccepted = 0,
  kPackageDigestMalformed = -1,  // the expected value is not 64 hex digits
  kPackageUnreadable = -2,       // the file cannot be read, or the folder does not fit
  kPackageDigestDiffers = -3,
};

// The version of a downloaded file.
enum FileVersionResult : int32_t {
  kFileVersionRead = 0,
  kNoFileVersion = -1,
};

// Copies url into the temporary folder under name: kDownloadOk, or
// kDownloadNoFolder, kDownloadCannotCreate, kDownloadNoClient,
// kDownloadCannotOpen (also for an answer outside 2xx), kDownloadReadFailed,
// kDownloadWriteFailed. From kDownloadNoClient on the file is deleted. A
// transfer's failure fills *failure when it is given.
int32_t FetchToTemp(Platform& platform, std::u16string_view name, const std::u16string& url,
                    TransferFailure* failure = nullptr);

// Starts the temporary folder's file name as a program: kLaunchStarted or
// kLaunchNotStarted, which also writes the cause to the activity log file.
int32_t RunFromTemp(Platform& platform, std::u16string_view name);

// Whether the temporary folder's file name may be offered for starting.
// Without an expected digest (sha256 empty) every package is accepted
// unread. With one, kPackageAccepted only when the file's SHA-256 equals it.
int32_t CheckPackage(Platform& platform, std::u16string_view name, std::u16string_view sha256);

// Yields no version for any file: kNoFileVersion, the out-values untouched.
int32_t ProbeFileVersion(const std::u16string& path, uint32_t& major, uint32_t& build, uint32_t& revision,
                         uint32_t& minor);

}  // namespace qarx
