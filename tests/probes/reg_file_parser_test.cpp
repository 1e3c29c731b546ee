#include <gtest/gtest.h>

#include "common/text.h"
#include "probes/reg_file_parser.h"

namespace qarx {
namespace {

using Bytes = std::vector<uint8_t>;

std::string Reg(const std::string& body) { return "Windows Registry Editor Version 5.00\r\n\r\n" + body; }

Bytes Utf16z(std::u16string_view text) {
  Bytes out;
  for (char16_t c : std::u16string(text) + u'\0') {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

class RegFile : public ::testing::Test {
 protected:
  RegFileResult Parse(const std::string& bytes) { return ParseRegFile(bytes, contents); }
  // The value as a 256-byte query returns it; type 0xFFFF when absent.
  std::pair<uint32_t, Bytes> Value(RegRoot root, std::u16string_view key, std::u16string_view name) {
    const auto* values = contents.Find(root, key);
    if (!values) return {0xFFFF, {}};
    uint8_t data[256];
    uint32_t size = sizeof(data);
    uint32_t type = 0;
    if (QueryRegFileValue(*values, name, data, size, type) != 0) return {0xFFFF, {}};
    return {type, Bytes(data, data + size)};
  }
  RegFileContents contents;
};

TEST_F(RegFile, ReadsEveryValueForm) {
  const auto result = Parse(Reg(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvia ICOCX]\r\n"
      "\"Installed\"=dword:00000001\r\n"
      "\"InstallDir\"=\"C:\\\\Program Files\\\\Old \\\"Ctl\\\"\"\r\n"
      "@=\"default\"\r\n"
      "\"Blob\"=hex:01,02,ff\r\n"
      "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      "\"Quad\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\"None\"=hex(0):\r\n"
      "\"Ten\"=dword:0000000a\r\n"));
  EXPECT_TRUE(result.recognised);
  EXPECT_EQ(result.problems, 0) << result.firstProblem;
  const auto key = u"SOFTWARE\\Quorvia ICOCX\\";
  EXPECT_EQ(Value(RegRoot::LocalMachine, key, u"Installed"), (std::pair<uint32_t, Bytes>{4, {1, 0, 0, 0}}));
  EXPECT_EQ(Value(RegRoot::LocalMachine, key, u"InstallDir"),
            (std::pair<uint32_t, Bytes>{1, Utf16z(u"C:\\Program Files\\Old \"Ctl\"")}));
  EXPECT_EQ(Value(RegRoot::LocalMachine, key, u""), (std::pair<uint32_t, Bytes>{1, Utf16z(u"default")}));
  EXPECT_EQ(Value(RegRoot::LocalMachine, key, u"Blob"), (std::pair<uint32_t, Bytes>{3, {1, 2, 0xFF}}));
  EXPECT_EQ(Value(RegRoot::LocalMachine, key, u"Expand"),
            (std::pair<uint32_t, Bytes>{2, {0x25, 0, 0x41, 0, 0x25, 0, 0, 0}}));
  EXPECT_EQ(Value(RegRoot::LocalMachine, key, u"Quad").first, 11u);
  EXPECT_EQ(Value(RegRoot::LocalMachine, key, u"None"), (std::pair<uint32_t, Bytes>{0, {}}));
  EXPECT_EQ(Value(RegRoot::LocalMachine, key, u"Ten"), (std::pair<uint32_t, Bytes>{4, {10, 0, 0, 0}}));
}

TEST_F(RegFile, HexDataContinuesOverBackslashLines) {
  Parse(Reg("[HKEY_LOCAL_MACHINE\\K]\n"
            "\"Multi\"=hex(7):41,00,00,00,\\\n"
            "  42,00,00,00,\\\n"
            "  00,00\n"
            "\"After\"=dword:2\n"));
  EXPECT_EQ(Value(RegRoot::LocalMachine, u"K", u"Multi"),
            (std::pair<uint32_t, Bytes>{7, {0x41, 0, 0, 0, 0x42, 0, 0, 0, 0, 0}}));
  EXPECT_EQ(Value(RegRoot::LocalMachine, u"K", u"After").second, (Bytes{2, 0, 0, 0}));
}

TEST_F(RegFile, ContinuationAtTheEndOfTheFileKeepsWhatWasRead) {
  const auto result = Parse(Reg("[HKEY_LOCAL_MACHINE\\K]\n\"B\"=hex:01,\\"));
  EXPECT_EQ(result.problems, 0);
  EXPECT_EQ(Value(RegRoot::LocalMachine, u"K", u"B").second, (Bytes{1}));
}

TEST_F(RegFile, EncodingsGiveTheSameContents) {
  const std::string utf8 = Reg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Q]\r\n\"InstallDir\"=\"C:\\\\旧控件\"\r\n");
  const std::u16string wide = FromUtf8(utf8);
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : wide) {
    utf16.push_back(static_cast<char>(c & 0xFF));
    utf16.push_back(static_cast<char>(c >> 8));
  }
  for (const std::string& bytes : {utf8, "\xEF\xBB\xBF" + utf8, utf16}) {
    RegFileContents each;
    ASSERT_TRUE(ParseRegFile(bytes, each).recognised);
    const auto* values = each.Find(RegRoot::LocalMachine, u"SOFTWARE\\Q");
    ASSERT_NE(values, nullptr);
    EXPECT_EQ(values->at(u"installdir").data, Utf16z(u"C:\\旧控件"));
  }
}

TEST_F(RegFile, WithoutTheHeaderNothingIsRead) {
  for (const std::string& bytes : {std::string("[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:1\n"),
                                   std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n"), std::string()}) {
    RegFileContents each;
    EXPECT_FALSE(ParseRegFile(bytes, each).recognised);
    EXPECT_EQ(each.keyCount(), 0u);
  }
}

TEST_F(RegFile, NamesIgnoreCaseAndParentsExist) {
  Parse(Reg("[hkey_local_machine\\Software\\Veltrane\\IC Card Terminal\\OCX]\n\"installed\"=dword:1\n"));
  EXPECT_EQ(Value(RegRoot::LocalMachine, u"SOFTWARE\\VELTRANE\\ic card terminal\\ocx\\", u"INSTALLED").first, 4u);
  EXPECT_NE(contents.Find(RegRoot::LocalMachine, u"software\\veltrane"), nullptr);
  EXPECT_NE(contents.Find(RegRoot::LocalMachine, u""), nullptr);
  EXPECT_EQ(contents.Find(RegRoot::LocalMachine, u"software\\veltrane\\ic"), nullptr);
  EXPECT_EQ(contents.Find(RegRoot::ClassesRoot, u"software\\veltrane"), nullptr);
}

TEST_F(RegFile, ClassesRootIsAlsoFoundUnderMachineClasses) {
  Parse(Reg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\http\\shell\\open\\command]\n@=\"m.exe\"\n"
            "[HKEY_CLASSES_ROOT\\ftp\\shell\\open\\command]\n@=\"c.exe\"\n"));
  EXPECT_EQ(Value(RegRoot::ClassesRoot, u"http\\shell\\open\\command\\", u"").second, Utf16z(u"m.exe"));
  EXPECT_EQ(Value(RegRoot::ClassesRoot, u"ftp\\shell\\open\\command\\", u"").second, Utf16z(u"c.exe"));
  EXPECT_EQ(contents.Find(RegRoot::LocalMachine, u"ftp\\shell\\open\\command"), nullptr);
}

TEST_F(RegFile, RemovalsAndRedefinitions) {
  Parse(Reg("[HKEY_LOCAL_MACHINE\\A]\n\"V\"=dword:1\n\"W\"=dword:1\n"
            "[HKEY_LOCAL_MACHINE\\A\\B]\n[HKEY_LOCAL_MACHINE\\A B]\n[HKEY_LOCAL_MACHINE\\AB]\n"
            "[HKEY_LOCAL_MACHINE\\A]\n\"V\"=dword:2\n\"W\"=-\n"
            "[-HKEY_LOCAL_MACHINE\\A\\B]\n"));
  EXPECT_EQ(Value(RegRoot::LocalMachine, u"A", u"V").second, (Bytes{2, 0, 0, 0}));
  EXPECT_EQ(Value(RegRoot::LocalMachine, u"A", u"W").first, 0xFFFFu);
  EXPECT_EQ(contents.Find(RegRoot::LocalMachine, u"A\\B"), nullptr);
  Parse(Reg("[-HKEY_LOCAL_MACHINE\\A]\n"));
  EXPECT_EQ(contents.Find(RegRoot::LocalMachine, u"A"), nullptr);
  EXPECT_NE(contents.Find(RegRoot::LocalMachine, u"A B"), nullptr);
  EXPECT_NE(contents.Find(RegRoot::LocalMachine, u"AB"), nullptr);
}

TEST_F(RegFile, CommentsAndOtherRootsAreSkippedQuietly) {
  const auto result = Parse(Reg("; exported for the demo\n"
                                "[HKEY_CURRENT_USER\\Software\\X]\n\"A\"=dword:1\n"
                                "[HKEY_LOCAL_MACHINE\\K]\n  ; indented comment\n"
                                "\"D\"=dword:00000003 ; three\n\"S\"=\"x\" ; note\n\"H\"=hex:01 ; one\n"));
  EXPECT_EQ(result.problems, 0) << result.firstProblem;
  EXPECT_EQ(Value(RegRoot::LocalMachine, u"K", u"D").second, (Bytes{3, 0, 0, 0}));
  EXPECT_EQ(Value(RegRoot::LocalMachine, u"K", u"S").second, Utf16z(u"x"));
  EXPECT_EQ(Value(RegRoot::LocalMachine, u"K", u"H").second, (Bytes{1}));
}

TEST_F(RegFile, MalformedLinesAreCountedAndSkipped) {
  const auto result = Parse(Reg("\"Early\"=dword:1\n"                   // line 3: before any key
                                "[HKEY_LOCAL_MACHINE\\K]\n"
                                "\"A\"=dword:123456789\n"               // nine digits
                                "\"B\"=dword:xyz\n"
                                "\"C\"=hex:1,,2\n"
                                "\"D\"=hex:123\n"                       // three digits in one byte
                                "\"E\"=\"unterminated\n"
                                "\"F\" dword:1\n"
                                "\"G\"=text\n"
                                "garbage\n"
                                "[HKEY_LOCAL_MACHINE\\Broken\n"
                                "\"Z\"=dword:7\n"                       // its key line was broken
                                "[HKEY_LOCAL_MACHINE\\K]\n"
                                "\"Good\"=dword:5\n"));
  EXPECT_TRUE(result.recognised);
  EXPECT_EQ(result.problems, 11);
  EXPECT_EQ(result.firstProblemLine, 3);
  EXPECT_EQ(result.firstProblem, "value before any key");
  const auto* k = contents.Find(RegRoot::LocalMachine, u"K");
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->size(), 1u);
  EXPECT_EQ(Value(RegRoot::LocalMachine, u"K", u"Good").second, (Bytes{5, 0, 0, 0}));
}

TEST_F(RegFile, KeyPathsKeepTheRegistrysLimits) {
  std::string deep = "HKEY_LOCAL_MACHINE";
  for (int level = 0; level < 512; ++level) deep += "\\k";
  const std::string name255(255, 'n');
  const auto result = Parse(Reg("[" + deep + "]\n[" + deep + "\\k]\n[HKEY_LOCAL_MACHINE\\" + name255 +
                                "]\n[HKEY_LOCAL_MACHINE\\" + name255 + "n]\n"));
  EXPECT_EQ(result.problems, 2);
  EXPECT_EQ(result.firstProblemLine, 4);
  EXPECT_NE(contents.Find(RegRoot::LocalMachine, FromUtf8(deep.substr(19))), nullptr);
  EXPECT_NE(contents.Find(RegRoot::LocalMachine, FromUtf8(name255)), nullptr);
  EXPECT_EQ(contents.Find(RegRoot::LocalMachine, FromUtf8(name255 + "n")), nullptr);
}

TEST(RegFileQuery, FollowsTheCapacityRule) {
  RegFileContents contents;
  const std::string text127(127, 'x');
  ParseRegFile(Reg("[HKEY_LOCAL_MACHINE\\K]\n\"Fits\"=\"" + text127 + "\"\n\"Long\"=\"y" + text127 + "\"\n"),
               contents);
  const auto& values = *contents.Find(RegRoot::LocalMachine, u"K");
  uint8_t data[256];
  uint32_t size = sizeof(data);
  uint32_t type = 0;
  EXPECT_EQ(QueryRegFileValue(values, u"Fits", data, size, type), 0);
  EXPECT_EQ(size, 256u);
  EXPECT_EQ(type, 1u);
  size = sizeof(data);
  EXPECT_EQ(QueryRegFileValue(values, u"Long", data, size, type), 234);
  EXPECT_EQ(size, 258u);
  size = 0;
  EXPECT_EQ(QueryRegFileValue(values, u"Long", nullptr, size, type), 0);
  EXPECT_EQ(size, 258u);
  size = sizeof(data);
  EXPECT_EQ(QueryRegFileValue(values, u"Missing", data, size, type), 2);
}

}  // namespace
}  // namespace qarx
