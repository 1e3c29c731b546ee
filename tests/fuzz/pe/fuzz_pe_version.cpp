// Any bytes as a file: the reader answers one of its results and reads only
// inside the file (ASan sees every read, as the bytes are copied from the
// input itself).
#include <cstdint>
#include <cstring>

#include "tools/pe_version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::array<uint16_t, 4> version{};
  const int32_t result = qarx::tools::ReadPeFileVersion(
      [data, size](uint64_t offset, void* out, size_t count) {
        if (offset > size || count > size - offset) return false;
        std::memcpy(out, data + offset, count);
        return true;
      },
      version);
  if (result < qarx::tools::kPeDamaged || result > qarx::tools::kPeVersionFound) __builtin_trap();
  return 0;
}
