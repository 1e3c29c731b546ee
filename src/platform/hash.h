// Digests of files, for packages whose content the update server vouches for.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qarx {

using Sha256Digest = std::array<uint8_t, 32>;

class HashPort {
 public:
  virtual ~HashPort() = default;
  // The SHA-256 of the whole file at path, read in pieces (never all of it in
  // memory). False when the file cannot be opened or read, also while another
  // handle is writing it.
  virtual bool Sha256File(const std::u16string& path, Sha256Digest& digest) = 0;
};

}  // namespace qarx
