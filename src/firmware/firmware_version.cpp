#include "firmware/firmware_version.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace qarx {

namespace {

constexpr size_t kConfiguredTextSize = 64;

}  // namespace

int CompareFirmwareVersion(uint32_t major, uint32_t build, uint32_t revision, uint32_t minor,
                           const char* text) {
  const uint32_t numbers[] = {major, build, revision, minor};
  if (std::any_of(std::begin(numbers), std::end(numbers), [](uint32_t n) { return n > kVersionNumberLimit; }))
    return kFirmwareCurrent;

  const size_t length = std::strlen(text);
  if (length == 0 || length > static_cast<size_t>(kVersionTextMaxLength)) return kFirmwareOutdated;
  if (!std::all_of(text, text + length, [](char c) { return (c >= '0' && c <= '9') || c == '.'; })) return kFirmwareOutdated;
  if (std::count(text, text + length, '.') != 3) return kFirmwareOutdated;

  char configured[kConfiguredTextSize] = {};
  std::snprintf(configured, sizeof configured, "%d.%d.%d.%d", static_cast<int>(major), static_cast<int>(build),
                static_cast<int>(revision), static_cast<int>(minor));

  // Where the configured text is shorter, its terminating zero takes part.
  for (size_t i = 0; i < length; ++i) {
    const auto mine = static_cast<unsigned char>(configured[i]);
    const auto theirs = static_cast<unsigned char>(text[i]);
    if (mine > theirs) return kFirmwareOutdated;
    if (mine < theirs) return kFirmwareCurrent;
  }
  return kFirmwareCurrent;
}

}  // namespace qarx
