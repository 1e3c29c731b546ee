// Whether a terminal's firmware version text calls for the update tool.
#pragma once

#include <cstdint>

namespace qarx {

inline constexpr uint32_t kVersionNumberLimit = 1000;
inline constexpr int kVersionTextMaxLength = 20;

enum FirmwareVerdict : int {
  kFirmwareCurrent = 0,  // no update to offer
  kFirmwareOutdated = -1,  // offer the update tool
};

// Compares the configured version,
// written "%d.%d.%d.%d", with the terminal's zero-terminated text byte by
// byte over the terminal text's length (text order, not numeric order). A
// configured number above 1000 disables the offer; a malformed terminal text
// (empty, longer than 20 bytes, other bytes than digits and '.', or not
// exactly three '.') asks for it.
int CompareFirmwareVersion(uint32_t major, uint32_t build, uint32_t revision, uint32_t minor,
                           const char* text);

}  // namespace qarx
