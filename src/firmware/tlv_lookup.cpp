#include "firmware/tlv_lookup.h"

#include <algorithm>

namespace qarx {

namespace {

constexpr uint8_t kTagNumberMask = 0x1F;  // all five bits set: a second tag byte follows
constexpr uint8_t kConstructed = 0x20;

}  // namespace

// The walk follows the headers in the order they stand in the data. A
// constructed element's length does not bound the walk: its contents come
// next, and whatever follows them comes after.
int FindTlvTag(int tag, const uint8_t* data, int dataLength, int& valueLength, uint8_t* value,
               int valueCapacity) {
  if (dataLength <= 0) return kTlvNotFound;
  int position = 0;
  while (position < dataLength) {
    const uint8_t first = data[position];
    int number = first;
    int header = 1;
    if ((first & kTagNumberMask) == kTagNumberMask) {
      if (position + 1 >= dataLength) return kTlvNotFound;
      number = first * 256 + data[position + 1];
      header = 2;
    }
    if (position + header >= dataLength) return kTlvNotFound;
    const int length = data[position + header];
    const int valueStart = position + header + 1;

    if (number == tag) {
      if (length > dataLength - valueStart) return kTlvNotFound;
      const int copied = std::clamp(length, 0, std::max(valueCapacity, 0));
      std::copy(data + valueStart, data + valueStart + copied, value);
      valueLength = copied;
      return kTlvFound;
    }
    position = (first & kConstructed) ? valueStart : valueStart + length;
  }
  return kTlvNotFound;
}

}  // namespace qarx
