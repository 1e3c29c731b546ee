#include "firmware/tlv_lookup.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/fake_pcsc.h"

namespace qarx {
namespace {

using testing::Hex;

// The value found for tag in data, or nothing.
std::optional<std::vector<uint8_t>> Find(int tag, const std::vector<uint8_t>& data, int capacity = 255) {
  std::vector<uint8_t> value(static_cast<size_t>(capacity) + 1, 0xEE);  // one guard byte past the capacity
  int length = -7;
  if (FindTlvTag(tag, data.data(), static_cast<int>(data.size()), length, value.data(), capacity) != 0) {
    EXPECT_EQ(length, -7) << "a miss touches no output";
    EXPECT_EQ(value[0], 0xEE);
    return std::nullopt;
  }
  EXPECT_EQ(value[static_cast<size_t>(capacity)], 0xEE) << "written past the capacity";
  value.resize(static_cast<size_t>(length));
  return value;
}

struct Case {
  const char* data;
  int tag;
  const char* expected;  // nullptr: not found
};

TEST(FindTlvTagTest, WalksHeadersInOrderEnteringConstructedElements) {
  const Case cases[] = {
      {"01 03 41 42 43", 1, "41 42 43"},
      {"21 04 02 02 30 31", 2, "30 31"},
      {"21 04 02 02 30 31", 0x21, "02 02 30 31"},        // a constructed match yields its encoded contents
      {"21 02 05 00 06 01 7A", 6, "7A"},                 // past the end of the constructed element's contents
      {"21 02 05 00 06 01 7A", 5, ""},                   // an empty value is found with length 0
      {"1F 01 01 55", 0x1F01, "55"},                     // two-byte tag
      {"1F 01 01 55", 1, nullptr},
      {"1F 01 01 55", 0x1F, nullptr},
      {"41 01 AA 81 01 BB", 1, nullptr},                 // tag numbers are compared whole
      {"41 01 AA 81 01 BB 01 01 CC", 1, "CC"},
      {"05 81 01 02 01 01 02", 1, nullptr},              // 0x81 is a length of 129: the walk passes the end
      {"05 05 01 02 01 01 02", 1, nullptr},              // a primitive running past the end ends the walk
      {"21 03 01 01 AA 01 01 BB", 1, "AA"},              // first occurrence wins, nested or not
      {"01 01 BB 21 03 01 01 AA", 1, "BB"},
      {"3F 01 03 01 01 DD", 1, "DD"},                    // constructed two-byte tag entered
      {"3F 01 03 01 01 DD", 0x3F01, "01 01 DD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data);
    const auto found = Find(c.tag, Hex(c.data));
    if (c.expected == nullptr) {
      EXPECT_FALSE(found.has_value()) << "tag " << c.tag;
    } else {
      ASSERT_TRUE(found.has_value()) << "tag " << c.tag;
      EXPECT_EQ(*found, Hex(c.expected));
    }
  }
}

TEST(FindTlvTagTest, NothingIsReadPastTheData) {
  const Case cases[] = {
      {"01 05 41 42", 1, nullptr},    // the matching value runs past the end
      {"21 05 01 03 41 42", 1, nullptr},
      {"02 00 1F", 0x1F01, nullptr},  // the second tag byte would lie past the end
      {"02 00 01", 1, nullptr},       // the length byte would lie past the end
      {"1F 01", 0x1F01, nullptr},
      {"01 00", 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data);
    // An exact-size heap copy, so a sanitizer sees any read past it.
    const std::vector<uint8_t> data = Hex(c.data);
    const auto found = Find(c.tag, data);
    EXPECT_EQ(found.has_value(), c.expected != nullptr);
  }
}

TEST(FindTlvTagTest, NoDataIsNotFound) {
  const std::vector<uint8_t> data = Hex("01 01 41");
  int length = 0;
  uint8_t value[8];
  EXPECT_EQ(FindTlvTag(1, data.data(), 0, length, value, 8), -1);
  EXPECT_EQ(FindTlvTag(1, data.data(), -2, length, value, 8), -1);  // an answer shorter than its status word
}

TEST(FindTlvTagTest, ValueLongerThanTheBufferIsCutToIt) {
  std::vector<uint8_t> data = {0x02, 100};
  for (int i = 0; i < 100; ++i) data.push_back(static_cast<uint8_t>('0' + i % 10));
  const auto found = Find(2, data, 63);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->size(), 63u);
  EXPECT_EQ(found->back(), '2');
}

}  // namespace
}  // namespace qarx
