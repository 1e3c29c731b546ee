// Lookup of one tag in a string of BER-TLV elements: tags of one or two
// bytes, lengths of exactly one byte, constructed elements entered.
#pragma once

#include <cstdint>

namespace qarx {

enum TlvResult : int {
  kTlvFound = 0,
  kTlvNotFound = -1,
};

// Finds the first element whose tag number is tag (a two-byte tag counts as
// first * 256 + second) and copies its value into value. Returns kTlvFound,
// or kTlvNotFound, and then neither output is touched.
//
// Never reads outside data[0, dataLength) nor writes outside
// value[0, valueCapacity):
//  - a matching element whose value runs past the end of the data, and an
//    element whose second tag byte or length byte would lie past the end,
//    count as not found;
//  - a value longer than valueCapacity is cut to valueCapacity bytes, and
//    valueLength is the number of bytes copied.
int FindTlvTag(int tag, const uint8_t* data, int dataLength, int& valueLength, uint8_t* value,
               int valueCapacity);

}  // namespace qarx
