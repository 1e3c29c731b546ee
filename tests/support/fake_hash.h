// Real SHA-256 digests of the fake temporary folder's files, with the
// adapter's rule that a file being written is not read.
#pragma once

#include <atomic>
#include <string>

#include "platform/hash.h"
#include "support/fake_files.h"

namespace qarx::testing {

class FakeHash : public HashPort {
 public:
  explicit FakeHash(FakeFiles& files) : files_(files) {}
  bool Sha256File(const std::u16string& path, Sha256Digest& digest) override;

  std::atomic<bool> failRead{false};
  std::atomic<int> calls{0};
  // The digest of content in lower-case hex, as a configuration carries it.
  static std::u16string Hex(const std::string& content);

 private:
  FakeFiles& files_;
};

}  // namespace qarx::testing
