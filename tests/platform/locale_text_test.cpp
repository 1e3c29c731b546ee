#include "platform/linux/locale_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace qarx::linux_port {
namespace {

// Sets LC_ALL for one test and puts the old value back.
class LocaleTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("LC_ALL");
    had_ = old != nullptr;
    if (had_) old_ = old;
  }
  void TearDown() override {
    if (had_) {
      setenv("LC_ALL", old_.c_str(), 1);
    } else {
      unsetenv("LC_ALL");
    }
  }
  static std::u16string Decode(const std::string& bytes) {
    std::u16string out = u"stale";
    EXPECT_TRUE(DecodeLocaleText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out));
    return out;
  }
  bool had_ = false;
  std::string old_;
};

TEST_F(LocaleTextTest, Utf8LocaleDecodesAndReplacesWhatItCannot) {
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EQ(Decode("ABC12"), u"ABC12");
  EXPECT_EQ(Decode("\xE5\x9E\x8B" "A"), u"型A");
  EXPECT_EQ(Decode("A\xFF" "B"), u"A\uFFFDB");
  EXPECT_EQ(Decode("AB\xE5\x9E"), u"AB\uFFFD\uFFFD");  // cut off at the end
  EXPECT_EQ(Decode(""), u"");
}

TEST_F(LocaleTextTest, PlainLocaleIsAscii) {
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(Decode("ABC\x80"), u"ABC\uFFFD");
}

}  // namespace
}  // namespace qarx::linux_port
