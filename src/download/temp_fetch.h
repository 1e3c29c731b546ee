// The four small file operations of the download subsystem: fetch a file
// into the temporary folder, start a file from it, and the two hooks the
// package download job consults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace qarx {

// Copies url into the temporary folder under name. 0 on success; -1 the
// folder does not fit, -2 the file cannot be created, -3 no client handle,
// -4 the URL cannot be opened (or answered outside 2xx), -5 a read failed,
// -6 a write failed. From -3 on the file is deleted.
int32_t FetchToTemp(Platform& platform, std::u16string_view name, const std::u16string& url);

// Starts the temporary folder's file name as a program: 0 started, -1 not.
int32_t RunFromTemp(Platform& platform, std::u16string_view name);

// Whether the temporary folder's file name may be offered for starting.
// Without an expected digest (sha256 empty) every package is accepted
// unread: 0. With one, 0 only when the file's SHA-256 equals it; -1 the
// value is not 64 hex digits, -2 the file cannot be read (or the folder
// does not fit), -3 the digest differs.
int32_t CheckPackage(Platform& platform, std::u16string_view name, std::u16string_view sha256);

// Yields no version for any file: -1, the out-values untouched.
int32_t ProbeFileVersion(const std::u16string& path, uint32_t& major, uint32_t& build, uint32_t& revision,
                         uint32_t& minor);

}  // namespace qarx
