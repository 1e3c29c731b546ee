#include "download/failure_text.h"

#include <cstdio>

#include "common/text.h"
#include "download/temp_fetch.h"

namespace qarx {

namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = 1024 * 1024;

struct Unit {
  uint64_t size;
  const char* name;
};

Unit UnitOf(uint64_t bytes) {
  if (bytes >= kMiB) return {kMiB, "MiB"};
  if (bytes >= kKiB) return {kKiB, "KiB"};
  return {1, "bytes"};
}

std::string Number(uint64_t bytes, Unit unit) {
  if (unit.size == 1) return std::to_string(bytes);
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / static_cast<double>(unit.size));
  return text;
}

std::string WithCause(std::string text, const std::string& cause) {
  if (!cause.empty()) text += " (" + cause + ")";
  return text;
}

}  // namespace

std::string FailureLine(std::string_view what, int32_t code, std::string_view text) {
  std::string line(what);
  line += " failed: " + std::to_string(code);
  if (!text.empty()) line += " " + std::string(text);
  return line;
}

std::string AmountText(uint64_t done, uint64_t expected) {
  const Unit doneUnit = UnitOf(done);
  if (expected == 0) return Number(done, doneUnit) + " " + doneUnit.name;
  const Unit expectedUnit = UnitOf(expected);
  std::string text = Number(done, doneUnit);
  if (doneUnit.size != expectedUnit.size) text += std::string(" ") + doneUnit.name;
  return text + " of " + Number(expected, expectedUnit) + " " + expectedUnit.name;
}

std::string DownloadFailureText(int32_t result, const TransferFailure& failure, uint64_t expected,
                                const std::u16string& url, const std::u16string& path) {
  switch (result) {
    case kDownloadNoFolder: return "the temporary folder does not fit";
    case kDownloadCannotCreate: return "cannot create " + ToUtf8(path);
    case kDownloadNoClient: return "no internet client handle";
    case kDownloadCannotOpen: return WithCause("cannot open " + ToUtf8(url), failure.cause);
    case kDownloadReadFailed:
      return WithCause("read failed after " + AmountText(failure.received, expected), failure.cause);
    case kDownloadWriteFailed:
      return WithCause("write failed after " + AmountText(failure.received, expected), failure.cause);
    default: return {};
  }
}

std::string LaunchFailureText(uint32_t value, const std::string& cause) {
  return WithCause("not started, launcher value " + std::to_string(value), cause);
}

std::string PackageCheckText(int32_t check) {
  switch (check) {
    case kPackageDigestMalformed: return "its SHA256 value is not 64 hex digits";
    case kPackageUnreadable: return "the file cannot be read";
    case kPackageDigestDiffers: return "its SHA-256 differs";
    default: return {};
  }
}

}  // namespace qarx
