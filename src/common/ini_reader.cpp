#include "common/ini_reader.h"

#include "common/text.h"

namespace qarx {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f'; }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char16_t FoldCase(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

// Valid UTF-8 is exactly what survives the decoder unchanged: it turns
// every invalid sequence into U+FFFD.
bool IsValidUtf8(std::string_view bytes) { return ToUtf8(FromUtf8(bytes)) == bytes; }

}  // namespace

bool DecodeIniBytes(std::string_view bytes, std::u16string& out) {
  out.clear();
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
    out.reserve((bytes.size() - 2) / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      out.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                          (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    return true;
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    out = FromUtf8(bytes.substr(3));
    return true;
  }
  if (!IsValidUtf8(bytes)) return false;
  out = FromUtf8(bytes);
  return true;
}

bool FindIniValue(std::u16string_view text, std::u16string_view section, std::u16string_view key,
                  std::u16string& value) {
  const std::u16string_view wantSection = Trim(section);
  const std::u16string_view wantKey = Trim(key);
  bool inSection = false;
  bool seenSection = false;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(u'\n', pos);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == u';') continue;
    if (line.front() == u'[') {
      // Only the first section of a name counts.
      if (inSection) return false;
      const size_t close = line.find(u']');
      const std::u16string_view name = Trim(line.substr(1, close == std::u16string_view::npos ? line.size() - 1
                                                                                            : close - 1));
      inSection = !seenSection && SameName(name, wantSection);
      seenSection = seenSection || inSection;
      continue;
    }
    if (!inSection) continue;
    const size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos) continue;
    if (!SameName(Trim(line.substr(0, eq)), wantKey)) continue;
    std::u16string_view v = Trim(line.substr(eq + 1));
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
      v = v.substr(1, v.size() - 2);
    value.assign(v);
    return true;
  }
  return false;
}

uint32_t IniGetString(std::u16string_view text, std::u16string_view section, std::u16string_view key,
                      std::u16string_view defaultValue, std::u16string& out, uint32_t capacity) {
  std::u16string value;
  if (!FindIniValue(text, section, key, value)) value.assign(defaultValue);
  const size_t room = capacity == 0 ? 0 : capacity - 1;
  out = value.substr(0, room);
  return static_cast<uint32_t>(out.size());
}

uint32_t IniGetInt(std::u16string_view text, std::u16string_view section, std::u16string_view key,
                   int32_t defaultValue) {
  std::u16string value;
  if (!FindIniValue(text, section, key, value) || value.empty()) return static_cast<uint32_t>(defaultValue);
  size_t i = 0;
  bool negative = false;
  if (value[0] == u'+' || value[0] == u'-') {
    negative = value[0] == u'-';
    i = 1;
  }
  uint32_t number = 0;
  for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i)
    number = number * 10u + static_cast<uint32_t>(value[i] - u'0');
  return negative ? 0u - number : number;
}

}  // namespace qarx
