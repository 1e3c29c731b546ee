// HashPort on Windows, over CNG (BCrypt). The file is opened sharing reads
// only, so a file that another handle is still writing is not read.
#include "platform/win32/windows_sdk.h"

#include <bcrypt.h>

#include <vector>

#include "platform/os.h"
#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

constexpr DWORD kReadBytes = 64 * 1024;

// One SHA-256 computation; every handle closed on the way out.
class Sha256 {
 public:
  Sha256() {
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      algorithm_ = nullptr;
      return;
    }
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) hash_ = nullptr;
  }
  ~Sha256() {
    if (hash_) BCryptDestroyHash(hash_);
    if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  bool Add(const void* data, ULONG size) {
    return hash_ && BCRYPT_SUCCESS(BCryptHashData(hash_, static_cast<PUCHAR>(const_cast<void*>(data)), size, 0));
  }
  bool Finish(Sha256Digest& digest) {
    Sha256Digest out{};
    if (!hash_ || !BCRYPT_SUCCESS(BCryptFinishHash(hash_, out.data(), static_cast<ULONG>(out.size()), 0)))
      return false;
    digest = out;
    return true;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

class BCryptHash final : public HashPort {
 public:
  bool Sha256File(const std::u16string& path, Sha256Digest& digest) override {
    Handle file(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    Sha256 sha;
    std::vector<char> buffer(kReadBytes);
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file.get(), buffer.data(), kReadBytes, &got, nullptr)) return false;
      if (got == 0) break;
      if (!sha.Add(buffer.data(), got)) return false;
    }
    return sha.Finish(digest);
  }
};

}  // namespace

std::unique_ptr<HashPort> MakeHashPort() { return std::make_unique<BCryptHash>(); }

}  // namespace qarx::win32

namespace qarx::os {

bool Sha256Bytes(const void* data, size_t size, Sha256Digest& digest) {
  win32::Sha256 sha;
  return size <= MAXDWORD && sha.Add(data, static_cast<ULONG>(size)) && sha.Finish(digest);
}

}  // namespace qarx::os
