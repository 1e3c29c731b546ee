// Input: a section selector, a key selector and a capacity (one byte each),
// then the bytes of a SetupConfig.ini as the update server sends it.
// Decoding and the lookup must stay within the text and answer by the
// profile functions' rules.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/ini_reader.h"
#include "common/text.h"

namespace {

constexpr std::u16string_view kSections[] = {u"CCID", u"Control", u"Server", u"VLT-X2", u"ABC12", u" control ", u""};
constexpr std::u16string_view kKeys[] = {u"URL", u"Size", u"VersionMajor", u"VersionBuild", u"VersionRevision",
                                         u"VersionMinor", u" url ", u""};

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f'; }

// The name of the first section in the text, so that made-up names are looked up too.
std::u16string FirstSectionName(const std::u16string& text) {
  const size_t open = text.find(u'[');
  if (open == std::u16string::npos) return {};
  const size_t close = text.find_first_of(u"]\n", open);
  return text.substr(open + 1, close == std::u16string::npos ? std::u16string::npos : close - open - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 3) return 0;
  const size_t sectionChoice = input[0] % (std::size(kSections) + 1);
  const std::u16string_view key = kKeys[input[1] % std::size(kKeys)];
  const uint32_t capacity = input[2];
  const std::string_view bytes(reinterpret_cast<const char*>(input + 3), size - 3);

  std::u16string text;
  if (!qarx::DecodeIniBytes(bytes, text)) {
    Check(text.empty());
    text = qarx::FromUtf8(bytes);  // what the service falls back to, give or take the code page
  }
  const std::u16string section =
      sectionChoice < std::size(kSections) ? std::u16string(kSections[sectionChoice]) : FirstSectionName(text);

  std::u16string value;
  const bool found = qarx::FindIniValue(text, section, key, value);
  if (found) {
    // One line's value: no line end in it, and trimmed unless quotes kept its blanks.
    Check(value.size() <= text.size());
    Check(value.find(u'\n') == std::u16string::npos);
    Check(value.empty() || !(IsBlank(value.front()) || IsBlank(value.back())) ||
          text.find(u"\"" + value + u"\"") != std::u16string::npos ||
          text.find(u"'" + value + u"'") != std::u16string::npos);
  }

  std::u16string out = u"junk";
  const uint32_t copied = qarx::IniGetString(text, section, key, u"default", out, capacity);
  Check(copied == out.size());
  Check(capacity == 0 ? copied == 0 : copied <= capacity - 1);
  const std::u16string whole = found ? value : std::u16string(u"default");
  Check(whole.compare(0, out.size(), out) == 0);

  const uint32_t number = qarx::IniGetInt(text, section, key, -1);
  if (!found || value.empty()) Check(number == 0xFFFFFFFFu);
  return 0;
}
