// Registry contents from the text of a registry export ("Windows Registry
// Editor Version 5.00"), for platforms without a registry: keys under
// HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT, their values as raw bytes plus
// type, exactly as the registry would hand them out.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace qarx {

struct RegFileValue {
  uint32_t type = REG_NONE;
  std::vector<uint8_t> data;  // REG_SZ as UTF-16LE with its terminator
};

class RegFileContents {
 public:
  // Values by name folded to lower case; the default value is "".
  using Values = std::map<std::u16string, RegFileValue>;

  // The values of root\subKey (names ignore case, trailing backslashes are
  // allowed); null when the key does not exist. A key under
  // HKEY_CLASSES_ROOT is also found under HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
  const Values* Find(RegRoot root, std::u16string_view subKey) const;

  size_t keyCount() const { return keys_.size(); }

 private:
  friend class RegFileReader;
  std::map<std::u16string, Values> keys_;  // "hklm\..." / "hkcr\..." folded
};

struct RegFileResult {
  bool recognised = false;   // the header was there
  int problems = 0;          // lines that were skipped as malformed
  int firstProblemLine = 0;  // 1-based
  std::string firstProblem;
};

// Parses the file's bytes (UTF-16LE with BOM, UTF-8 with or without BOM);
// malformed lines are skipped and counted. Never fails otherwise.
RegFileResult ParseRegFile(std::string_view bytes, RegFileContents& contents);

// RegQueryValueExW over one key: 2 when the value is missing; 234 with the
// needed size when data is given and too small; else 0 with the data copied.
long QueryRegFileValue(const RegFileContents::Values& values, std::u16string_view name, uint8_t* data,
                       uint32_t& size, uint32_t& type);

}  // namespace qarx
