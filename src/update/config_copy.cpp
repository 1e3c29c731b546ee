#include "update/config_copy.h"

#include "common/qarx_types.h"

namespace qarx {

bool ConfigCopyPath(Platform& platform, std::u16string& path) {
  std::u16string folder;
  const uint32_t length = platform.files->GetTempPath(kMaxPath, folder);
  if (length > kMaxPath) return false;
  path = folder + std::u16string(kConfigFileName);
  return true;
}

}  // namespace qarx
