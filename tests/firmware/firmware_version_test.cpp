#include "firmware/firmware_version.h"

#include <gtest/gtest.h>

#include <string>

namespace qarx {
namespace {

constexpr uint32_t kMissing = 4294967295u;

struct Case {
  uint32_t major, build, revision, minor;
  std::string terminal;
  int expected;  // -1 offer, 0 no offer
};

TEST(CompareFirmwareVersionTest, ComparesTextNotNumbers) {
  const Case cases[] = {
      {1, 0, 0, 2, "1.0.0.1", -1},
      {1, 0, 0, 1, "1.0.0.1", 0},
      {1, 0, 0, 1, "1.0.0.2", 0},
      {1, 0, 0, 10, "1.0.0.9", 0},    // '1' sorts before '9'
      {1, 0, 0, 10, "1.0.0.1", 0},    // equal over the terminal text's 7 bytes
      {2, 0, 0, 0, "10.0.0.0", -1},   // '2' sorts after '1'
      {1, 0, 0, 1, "1.0.0.10", 0},    // the configured text's terminator sorts before '0'
      {1, 0, 0, 1, "...", -1},        // well formed by the rules; '1' sorts after '.'
      {1000, 1000, 1000, 1000, "1.0.0.0", -1},
      {0, 0, 0, 0, "0.0.0.0", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.terminal + " vs " + std::to_string(c.major) + "." + std::to_string(c.build) + "." +
                 std::to_string(c.revision) + "." + std::to_string(c.minor));
    EXPECT_EQ(CompareFirmwareVersion(c.major, c.build, c.revision, c.minor, c.terminal.c_str()), c.expected);
  }
}

TEST(CompareFirmwareVersionTest, MalformedTerminalTextAsksForTheUpdate) {
  for (const char* text : {"1.0.1", "1.0.0.0.1", "1.0.a.1", "", "1.0.0.123456789012345", "1 .0.0.1",
                                 "1.0.0.-1"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(CompareFirmwareVersion(1, 0, 0, 1, text), -1);
  }
  const std::string twenty = "1.0.0.12345678901234";  // 20 bytes: still well formed
  ASSERT_EQ(twenty.size(), 20u);
  EXPECT_EQ(CompareFirmwareVersion(1, 0, 0, 1, twenty.c_str()), 0);
  EXPECT_EQ(CompareFirmwareVersion(1, 0, 0, 1, (twenty + "5").c_str()), -1);
}

TEST(CompareFirmwareVersionTest, ConfiguredNumberAboveTheLimitDisablesTheOffer) {
  EXPECT_EQ(CompareFirmwareVersion(1001, 0, 0, 0, "1.0.0.0"), 0);
  EXPECT_EQ(CompareFirmwareVersion(1, 0, 0, 1001, "garbage"), 0);
  EXPECT_EQ(CompareFirmwareVersion(kMissing, kMissing, kMissing, kMissing, "1.0.0.1"), 0);  // no section
  EXPECT_EQ(CompareFirmwareVersion(9, 9, kMissing, 9, ""), 0);
}

}  // namespace
}  // namespace qarx
