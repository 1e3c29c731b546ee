#include <gtest/gtest.h>

#include "common/ini_reader.h"

namespace qarx {
namespace {

const std::u16string kText =
    u"; comment line\r\n"
    u"orphan=before any section\r\n"
    u"[ Control ]\r\n"
    u"  URL  =   https://h/a.exe   \r\n"
    u"url=https://h/second.exe\r\n"
    u"Quoted=\"  spaced  \"\r\n"
    u";Size=99\r\n"
    u"Size=180\r\n"
    u"Empty=\r\n"
    u"no equals sign\r\n"
    u"[Server]\n"
    u"Size=30\n"
    u"[control]\r\n"
    u"Late=from the second Control section\r\n";

std::u16string Value(std::u16string_view section, std::u16string_view key) {
  std::u16string out;
  IniGetString(kText, section, key, u"<default>", out, 1024);
  return out;
}

TEST(IniReader, NamesIgnoreCaseAndBlanksFirstOccurrenceWins) {
  const std::pair<std::pair<const char16_t*, const char16_t*>, const char16_t*> rows[] = {
      {{u"Control", u"URL"}, u"https://h/a.exe"},
      {{u"CONTROL", u"url"}, u"https://h/a.exe"},
      {{u" control ", u" Url "}, u"https://h/a.exe"},
      {{u"Control", u"Quoted"}, u"  spaced  "},
      {{u"Control", u"Size"}, u"180"},
      {{u"Control", u"Empty"}, u""},
      {{u"Control", u"Late"}, u"<default>"},
      {{u"Control", u"no equals sign"}, u"<default>"},
      {{u"Control", u"orphan"}, u"<default>"},
      {{u"Server", u"Size"}, u"30"},
      {{u"Missing", u"Size"}, u"<default>"},
  };
  for (const auto& [where, expected] : rows)
    EXPECT_EQ(Value(where.first, where.second), expected) << std::string(where.first, where.first + 1);
}

TEST(IniReader, StringIsCutToCapacityMinusOne) {
  std::u16string out;
  EXPECT_EQ(IniGetString(kText, u"Control", u"URL", u"", out, 6), 5u);
  EXPECT_EQ(out, u"https");
  EXPECT_EQ(IniGetString(kText, u"Control", u"Nope", u"default", out, 4), 3u);
  EXPECT_EQ(out, u"def");
  EXPECT_EQ(IniGetString(kText, u"Control", u"URL", u"", out, 0), 0u);
}

TEST(IniReader, IntegerRule) {
  struct Row {
    const char16_t* value;
    uint32_t expected;
  };
  const Row rows[] = {
      {u"42", 42},
      {u"+7", 7},
      {u"-1", 4294967295u},
      {u"-5", static_cast<uint32_t>(-5)},
      {u"4294967295", 4294967295u},
      {u"4294967296", 0},
      {u"0", 0},
      {u"12abc", 12},
      {u"abc", 0},
      {u"0x10", 0},
      {u"-", 0},
      {u" 8 ", 8},
      {u"", 99},  // present but empty: the default, as for a missing key
  };
  for (const Row& row : rows) {
    const std::u16string text = u"[S]\nK=" + std::u16string(row.value) + u"\n";
    EXPECT_EQ(IniGetInt(text, u"S", u"K", 99), row.expected) << std::string(row.value, row.value + 1);
  }
  EXPECT_EQ(IniGetInt(u"[S]\n", u"S", u"K", -1), 4294967295u);
  EXPECT_EQ(IniGetInt(u"", u"S", u"K", 320), 320u);
}

TEST(IniReader, DecodesTheThreeEncodings) {
  std::u16string out;
  using namespace std::string_view_literals;
  EXPECT_TRUE(DecodeIniBytes("\xFF\xFE[\x00S\x00]\x00\xEF\x8DS\x00"sv, out));
  EXPECT_EQ(out, u"[S]\u8DEFS");
  EXPECT_TRUE(DecodeIniBytes("\xEF\xBB\xBF[S]\xE8\xB7\xAF", out));
  EXPECT_EQ(out, u"[S]路");
  EXPECT_TRUE(DecodeIniBytes("[S]\r\nK=\xE6\x8E\xA7", out));
  EXPECT_EQ(out, u"[S]\r\nK=控");
  EXPECT_TRUE(DecodeIniBytes("", out));
  EXPECT_EQ(out, u"");
  // GBK bytes of "控件" are not UTF-8: left to the caller's code page.
  EXPECT_FALSE(DecodeIniBytes("K=\xBF\xD8\xBC\xFE", out));
  EXPECT_FALSE(DecodeIniBytes("K=\xE6\x8E", out));         // cut short
  EXPECT_FALSE(DecodeIniBytes("K=\xC0\xAF", out));         // overlong
  EXPECT_FALSE(DecodeIniBytes("K=\xED\xA0\x80", out));     // surrogate
}

}  // namespace
}  // namespace qarx
