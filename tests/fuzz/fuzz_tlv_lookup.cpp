// Input: tag selector (2 bytes), value capacity (1 byte), then the BER-TLV
// data itself, which ends exactly where the fuzzer's buffer ends so that any
// read past it is caught.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "firmware/tlv_lookup.h"

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr int kBufferSize = 256 + 16;

// The found value must be a run of bytes of the data.
bool IsRunOf(const uint8_t* data, int length, const uint8_t* value, int valueLength) {
  if (valueLength == 0) return true;
  for (int at = 0; at + valueLength <= length; ++at)
    if (std::memcmp(data + at, value, static_cast<size_t>(valueLength)) == 0) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 3) return 0;
  // A selector below 256 names a one-byte tag; above, a two-byte one.
  const int tag = input[0] == 0 ? input[1] : input[0] * 256 + input[1];
  const int capacity = input[2];
  const uint8_t* data = input + 3;
  const int length = static_cast<int>(size - 3);

  uint8_t value[kBufferSize];
  std::fill(std::begin(value), std::end(value), kGuard);
  int valueLength = -1;
  const int rc = qarx::FindTlvTag(tag, data, length, valueLength, value, capacity);
  if (rc == -1) {
    if (valueLength != -1 || std::any_of(std::begin(value), std::end(value), [](uint8_t b) { return b != kGuard; }))
      std::abort();  // a miss touched an output
  } else if (rc != 0 || valueLength < 0 || valueLength > capacity || !IsRunOf(data, length, value, valueLength) ||
             std::any_of(value + valueLength, std::end(value), [](uint8_t b) { return b != kGuard; })) {
    std::abort();
  }
  if (qarx::FindTlvTag(tag, data, -length, valueLength, value, capacity) != -1) std::abort();
  return 0;
}
