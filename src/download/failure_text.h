// The words of the activity log file's failure entries of downloads and
// launches, e.g. "download 3 failed: -5 read failed after 1.2 of 3.0 MiB
// (connection reset)".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "download/transfer.h"

namespace qarx {

// "<what> failed: <code> <text>".
std::string FailureLine(std::string_view what, int32_t code, std::string_view text);

// An amount of a download: "1.2 of 3.0 MiB", "512 bytes of 3.0 MiB", or
// "1.2 MiB" when nothing was expected (0).
std::string AmountText(uint64_t done, uint64_t expected);

// What a download result from kDownloadNoFolder to kDownloadWriteFailed
// means, with how far it came and the adapter's cause:
// "read failed after 1.2 of 3.0 MiB (connection reset)".
std::string DownloadFailureText(int32_t result, const TransferFailure& failure, uint64_t expected,
                                const std::u16string& url, const std::u16string& path);

// A start that the launcher refused: "not started, launcher value 2 (No
// such file or directory)".
std::string LaunchFailureText(uint32_t value, const std::string& cause);

// Why a package check refused the file (a CheckPackage result).
std::string PackageCheckText(int32_t check);

}  // namespace qarx
