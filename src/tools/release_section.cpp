#include "tools/release_section.h"

#include <cstdio>

namespace qarx::tools {

namespace {

std::string VersionText(const std::array<uint16_t, 4>& v) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

// The file's name as one URL path segment: every byte outside the
// unreserved characters as %XX.
std::string UrlSegment(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string out;
  for (unsigned char c : name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      out += escaped;
    }
  }
  return out;
}

}  // namespace

bool ParseVersion(const std::string& text, std::array<uint16_t, 4>& version) {
  size_t at = 0;
  for (size_t i = 0; i < 4; ++i) {
    if (i > 0 && (at >= text.size() || text[at++] != '.')) return false;
    uint32_t number = 0;
    const size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 5)
      number = number * 10 + static_cast<uint32_t>(text[at++] - '0');
    if (at == start || number > 0xFFFF) return false;
    version[i] = static_cast<uint16_t>(number);
  }
  return at == text.size();
}

std::string ReleaseSection(const ReleaseFacts& facts, std::string& text) {
  std::array<uint16_t, 4> version = facts.givenVersion;
  if (facts.versionFound == kPeVersionFound) {
    if (facts.versionGiven && facts.givenVersion != facts.fileVersion)
      return "the file's version resource says " + VersionText(facts.fileVersion) + ", the command line " +
             VersionText(facts.givenVersion);
    version = facts.fileVersion;
  } else if (!facts.versionGiven) {
    switch (facts.versionFound) {
      case kPeNotAProgram: return facts.fileName + " is not a Windows program: give its version";
      case kPeNoVersion: return facts.fileName + " has no version resource: give its version";
      default: return facts.fileName + " is a damaged Windows program: give its version";
    }
  }
  std::string base = facts.baseUrl;
  while (!base.empty() && base.back() == '/') base.pop_back();
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t byte : facts.digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  text = "[" + facts.section + "]\r\n";
  text += "URL=" + base + "/" + UrlSegment(facts.fileName) + "\r\n";
  text += "Size=" + std::to_string((facts.size + 1023) / 1024) + "\r\n";
  const char* names[] = {"VersionMajor", "VersionBuild", "VersionRevision", "VersionMinor"};
  for (size_t i = 0; i < 4; ++i) text += std::string(names[i]) + "=" + std::to_string(version[i]) + "\r\n";
  text += "SHA256=" + hex + "\r\n";
  return {};
}

}  // namespace qarx::tools
