#include "support/fake_hash.h"

#include "platform/os.h"

namespace qarx::testing {

namespace {

Sha256Digest Digest(const std::string& content) {
  Sha256Digest digest{};
  os::Sha256Bytes(content.data(), content.size(), digest);
  return digest;
}

}  // namespace

bool FakeHash::Sha256File(const std::u16string& path, Sha256Digest& digest) {
  ++calls;
  std::string content;
  if (failRead || !files_.ReadClosed(path, content)) return false;
  digest = Digest(content);
  return true;
}

std::u16string FakeHash::Hex(const std::string& content) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string hex;
  for (uint8_t byte : Digest(content)) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

}  // namespace qarx::testing
