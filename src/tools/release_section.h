// What qarx-release prints for a package: its SetupConfig.ini section.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/hash.h"
#include "tools/pe_version.h"

namespace qarx::tools {

struct ReleaseFacts {
  std::string section = "Server";           // or "Control", "CCID", a terminal model
  std::string baseUrl;                      // where the file is published
  std::string fileName;                     // as given; only its last part goes into the URL
  uintmax_t size = 0;                       // bytes
  Sha256Digest digest{};
  int32_t versionFound = kPeNotAProgram;    // ReadPeFileVersion's result
  std::array<uint16_t, 4> fileVersion{};    // when found
  bool versionGiven = false;
  std::array<uint16_t, 4> givenVersion{};   // from the command line
};

// "MAJOR.BUILD.REVISION.MINOR", each 0 to 65535.
bool ParseVersion(const std::string& text, std::array<uint16_t, 4>& version);

// The section's lines ("\r\n" ends each) into text; or why there is none.
std::string ReleaseSection(const ReleaseFacts& facts, std::string& text);

}  // namespace qarx::tools
