#include "support/fake_profile.h"

#include "common/ini_reader.h"
#include "common/text.h"

namespace qarx::testing {

std::u16string FakeProfile::Text(const std::u16string& file) {
  std::u16string text;
  if (file.compare(0, files_.tempPath.size(), files_.tempPath) != 0) return text;
  const std::string bytes = files_.Content(file.substr(files_.tempPath.size()));
  if (!DecodeIniBytes(bytes, text)) text = FromUtf8(bytes);
  return text;
}

uint32_t FakeProfile::GetString(const std::u16string& section, const std::u16string& key,
                                const std::u16string& defaultValue, std::u16string& out, uint32_t capacity,
                                const std::u16string& file) {
  return IniGetString(Text(file), section, key, defaultValue, out, capacity);
}

uint32_t FakeProfile::GetInt(const std::u16string& section, const std::u16string& key, int32_t defaultValue,
                             const std::u16string& file) {
  return IniGetInt(Text(file), section, key, defaultValue);
}

}  // namespace qarx::testing
