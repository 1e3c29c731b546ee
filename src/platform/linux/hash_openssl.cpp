// HashPort on Linux, over OpenSSL's EVP digests. A file that another handle
// is writing (it holds the exclusive lock the file port takes) is not read,
// as a file opened without sharing cannot be opened on Windows.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "platform/linux/linux_ports.h"
#include "platform/linux/unique_fd.h"
#include "platform/linux/windows_paths.h"
#include "platform/os.h"

namespace qarx::linux_port {

namespace {

constexpr size_t kReadBytes = 64 * 1024;

struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

class OpenSslHash final : public HashPort {
 public:
  bool Sha256File(const std::u16string& path, Sha256Digest& digest) override {
    Fd fd(open(HostPath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return false;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (flock(fd.get(), LOCK_SH | LOCK_NB) != 0) return false;

    std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return false;
    std::vector<unsigned char> buffer(kReadBytes);
    for (;;) {
      const ssize_t n = read(fd.get(), buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) break;
      if (EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(n)) != 1) return false;
    }
    unsigned int length = 0;
    Sha256Digest out{};
    if (EVP_DigestFinal_ex(context.get(), out.data(), &length) != 1 || length != out.size()) return false;
    digest = out;
    return true;
  }
};

}  // namespace

std::unique_ptr<HashPort> MakeHashPort() { return std::make_unique<OpenSslHash>(); }

}  // namespace qarx::linux_port

namespace qarx::os {

bool Sha256Bytes(const void* data, size_t size, Sha256Digest& digest) {
  Sha256Digest out{};
  unsigned int length = 0;
  if (EVP_Digest(data, size, out.data(), &length, EVP_sha256(), nullptr) != 1 || length != out.size()) return false;
  digest = out;
  return true;
}

}  // namespace qarx::os
