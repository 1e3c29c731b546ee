// INI reading over the files of a FakeFiles folder, with the real INI rules.
#pragma once

#include "platform/system_info.h"
#include "support/fake_files.h"

namespace qarx::testing {

class FakeProfile : public ProfilePort {
 public:
  explicit FakeProfile(FakeFiles& files) : files_(files) {}
  uint32_t GetString(const std::u16string& section, const std::u16string& key, const std::u16string& defaultValue,
                     std::u16string& out, uint32_t capacity, const std::u16string& file) override;
  uint32_t GetInt(const std::u16string& section, const std::u16string& key, int32_t defaultValue,
                  const std::u16string& file) override;

 private:
  std::u16string Text(const std::u16string& file);
  FakeFiles& files_;
};

}  // namespace qarx::testing
