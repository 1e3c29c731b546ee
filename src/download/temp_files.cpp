#include "download/temp_files.h"

#include "common/qarx_types.h"

namespace qarx {

bool TempFilePath(Platform& platform, std::u16string_view name, std::u16string& path) {
  std::u16string folder;
  const uint32_t length = platform.files->GetTempPath(kMaxPath, folder);
  if (length > kMaxPath) return false;
  // A full path that would not fit the platform's path buffer fails the
  // same way rather than being cut to a different file name.
  if (folder.size() + name.size() >= kMaxPath) return false;
  path = folder;
  path += name;
  return true;
}

std::unique_ptr<HeldFile> HoldTempFile(Platform& platform, std::u16string_view name) {
  std::u16string path;
  if (!TempFilePath(platform, name, path)) return nullptr;
  return platform.files->HoldFile(path);
}

}  // namespace qarx
