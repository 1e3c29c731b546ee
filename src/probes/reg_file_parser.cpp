#include "probes/reg_file_parser.h"

#include <cstring>

#include "common/ini_reader.h"
#include "common/text.h"
#include "probes/ascii_case.h"

namespace qarx {

namespace {

constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kLocalMachine = u"hkey_local_machine";
constexpr std::u16string_view kClassesRoot = u"hkey_classes_root";
constexpr std::u16string_view kLocalMachinePrefix = u"hklm";
constexpr std::u16string_view kClassesRootPrefix = u"hkcr";
// The registry's own limits on key paths: they also keep a hostile file from
// costing time quadratic in its line length.
constexpr size_t kMaxKeyDepth = 512;
constexpr size_t kMaxKeyNameLength = 255;
// Where HKEY_CLASSES_ROOT's machine-wide part lives.
constexpr std::u16string_view kMachineClasses = u"hklm\\software\\classes";

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\f' || c == u'\v'; }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// One to eight hexadecimal digits and nothing else.
bool ParseHex32(std::u16string_view text, uint32_t& out) {
  if (text.empty() || text.size() > 8) return false;
  out = 0;
  for (char16_t c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) return false;
    out = (out << 4) | static_cast<uint32_t>(digit);
  }
  return true;
}

// "01,02, ff" — one or two digits per byte; a trailing comma is allowed.
bool ParseByteList(std::u16string_view text, std::vector<uint8_t>& out) {
  size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < text.size() && IsBlank(text[i])) ++i;
  };
  for (;;) {
    skipBlanks();
    if (i == text.size()) return true;
    int value = 0;
    int digits = 0;
    for (; i < text.size() && digits < 2 && HexDigit(text[i]) >= 0; ++digits) value = value * 16 + HexDigit(text[i++]);
    if (digits == 0) return false;
    out.push_back(static_cast<uint8_t>(value));
    skipBlanks();
    if (i == text.size()) return true;
    if (text[i] != u',') return false;
    ++i;
  }
}

// A quoted text starting at text[pos]; \" and \\ are escapes, any other
// backslash stands for itself. pos ends after the closing quote.
bool ParseQuoted(std::u16string_view text, size_t& pos, std::u16string& out) {
  if (pos >= text.size() || text[pos] != u'"') return false;
  out.clear();
  for (size_t i = pos + 1; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'"') {
      pos = i + 1;
      return true;
    }
    if (c == u'\\' && i + 1 < text.size() && (text[i + 1] == u'"' || text[i + 1] == u'\\')) {
      out.push_back(text[++i]);
      continue;
    }
    out.push_back(c);
  }
  return false;
}

std::u16string_view BeforeComment(std::u16string_view text) { return Trim(text.substr(0, text.find(u';'))); }

bool ParseData(std::u16string_view data, RegFileValue& value) {
  if (!data.empty() && data.front() == u'"') {
    size_t pos = 0;
    std::u16string text;
    if (!ParseQuoted(data, pos, text) || !BeforeComment(data.substr(pos)).empty()) return false;
    value.type = REG_SZ;
    for (char16_t c : text + u'\0') {
      value.data.push_back(static_cast<uint8_t>(c & 0xFF));
      value.data.push_back(static_cast<uint8_t>(c >> 8));
    }
    return true;
  }
  if (StartsWithNoCase(data, u"dword:")) {
    uint32_t number = 0;
    if (!ParseHex32(BeforeComment(data.substr(6)), number)) return false;
    value.type = REG_DWORD;
    for (int shift = 0; shift < 32; shift += 8) value.data.push_back(static_cast<uint8_t>(number >> shift));
    return true;
  }
  if (StartsWithNoCase(data, u"hex:")) {
    value.type = REG_BINARY;
    return ParseByteList(BeforeComment(data.substr(4)), value.data);
  }
  if (StartsWithNoCase(data, u"hex(")) {
    const size_t close = data.find(u"):");
    return close != std::u16string_view::npos && ParseHex32(data.substr(4, close - 4), value.type) &&
           ParseByteList(BeforeComment(data.substr(close + 2)), value.data);
  }
  return false;
}

// The root is level 0; a trailing backslash adds an empty name.
bool WithinKeyLimits(std::u16string_view path) {
  size_t depth = 0;
  for (size_t start = 0; start <= path.size(); ++depth) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end - start > kMaxKeyNameLength || depth > kMaxKeyDepth) return false;
    start = end + 1;
  }
  return true;
}

// "HKEY_LOCAL_MACHINE\A\B\" -> "hklm\a\b"; false for the roots no probe reads.
bool FoldKeyPath(std::u16string_view path, std::u16string& folded) {
  const size_t slash = path.find(u'\\');
  const std::u16string_view root = path.substr(0, slash);
  if (EqualsIgnoreCase(root, kLocalMachine))
    folded = kLocalMachinePrefix;
  else if (EqualsIgnoreCase(root, kClassesRoot))
    folded = kClassesRootPrefix;
  else
    return false;
  std::u16string_view rest = slash == std::u16string_view::npos ? std::u16string_view() : path.substr(slash + 1);
  while (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
  if (!rest.empty()) folded += u"\\" + AsciiLower(rest);
  return true;
}

}  // namespace

class RegFileReader {
 public:
  RegFileReader(RegFileContents& contents, RegFileResult& result) : contents_(contents), result_(result) {}

  void Key(std::u16string_view line, int number) {
    current_ = nullptr;
    skipping_ = false;
    if (line.back() != u']') return Problem(number, "key line without its closing bracket");
    std::u16string_view path = line.substr(1, line.size() - 2);
    const bool remove = !path.empty() && path.front() == u'-';
    if (remove) path.remove_prefix(1);
    if (!WithinKeyLimits(path)) return Problem(number, "key path deeper or longer than the registry allows");
    std::u16string folded;
    if (!FoldKeyPath(path, folded)) {
      skipping_ = true;  // another root: its values are not needed
      return;
    }
    if (remove) return RemoveTree(folded);
    // The parents of a key exist too.
    for (size_t slash = folded.find(u'\\'); slash != std::u16string::npos; slash = folded.find(u'\\', slash + 1))
      contents_.keys_.try_emplace(folded.substr(0, slash));
    current_ = &contents_.keys_[folded];
  }

  // lines[index] starts a value; hex data may continue over the following
  // lines, each but the last ending in a backslash. index ends on its last line.
  void Value(const std::vector<std::u16string_view>& lines, size_t& index) {
    const int number = static_cast<int>(index) + 1;
    const std::u16string_view line = Trim(lines[index]);
    std::u16string name;
    size_t pos = 1;
    if (line.front() == u'"') {
      pos = 0;
      if (!ParseQuoted(line, pos, name)) return Problem(number, "value name without its closing quote");
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != u'=') return Problem(number, "value without '='");
    std::u16string data(Trim(line.substr(pos + 1)));
    if (StartsWithNoCase(data, u"hex")) {
      while (!data.empty() && data.back() == u'\\') {
        data.pop_back();
        if (index + 1 >= lines.size()) break;
        data += Trim(lines[++index]);
      }
    }
    if (!current_) {
      if (!skipping_) Problem(number, "value before any key");
      return;
    }
    if (data == u"-") {
      current_->erase(AsciiLower(name));
      return;
    }
    RegFileValue value;
    if (!ParseData(data, value)) return Problem(number, "value data not understood");
    (*current_)[AsciiLower(name)] = std::move(value);
  }

  void Problem(int number, const char* what) {
    if (result_.problems++ == 0) {
      result_.firstProblemLine = number;
      result_.firstProblem = what;
    }
  }

 private:
  void RemoveTree(const std::u16string& folded) {
    auto& keys = contents_.keys_;
    // Every name of the tree begins with the key's own; "a b" sorts between
    // "a" and "a\\b", so the whole range sharing that beginning is looked at.
    for (auto it = keys.lower_bound(folded);
         it != keys.end() && it->first.compare(0, folded.size(), folded) == 0;) {
      const std::u16string& name = it->first;
      if (name.size() == folded.size() || name[folded.size()] == u'\\')
        it = keys.erase(it);
      else
        ++it;
    }
  }

  RegFileContents& contents_;
  RegFileResult& result_;
  RegFileContents::Values* current_ = nullptr;
  bool skipping_ = false;
};

const RegFileContents::Values* RegFileContents::Find(RegRoot root, std::u16string_view subKey) const {
  std::u16string_view rest = subKey;
  while (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
  const std::u16string tail = rest.empty() ? std::u16string() : u"\\" + AsciiLower(rest);
  const bool classes = root == RegRoot::ClassesRoot;
  auto it = keys_.find(std::u16string(classes ? kClassesRootPrefix : kLocalMachinePrefix) + tail);
  if (it == keys_.end() && classes) it = keys_.find(std::u16string(kMachineClasses) + tail);
  return it == keys_.end() ? nullptr : &it->second;
}

RegFileResult ParseRegFile(std::string_view bytes, RegFileContents& contents) {
  RegFileResult result;
  std::u16string text;
  if (!DecodeIniBytes(bytes, text)) text = FromUtf8(bytes);

  std::vector<std::u16string_view> lines;
  const std::u16string_view all(text);
  for (size_t start = 0; start <= all.size();) {
    size_t end = all.find(u'\n', start);
    if (end == std::u16string_view::npos) end = all.size();
    lines.push_back(all.substr(start, end - start));
    start = end + 1;
  }

  size_t index = 0;
  while (index < lines.size() && Trim(lines[index]).empty()) ++index;
  if (index == lines.size() || Trim(lines[index]) != kHeader) return result;
  result.recognised = true;

  RegFileReader reader(contents, result);
  for (++index; index < lines.size(); ++index) {
    const std::u16string_view line = Trim(lines[index]);
    if (line.empty() || line.front() == u';') continue;
    if (line.front() == u'[')
      reader.Key(line, static_cast<int>(index) + 1);
    else if (line.front() == u'"' || line.front() == u'@')
      reader.Value(lines, index);
    else
      reader.Problem(static_cast<int>(index) + 1, "neither a key, a value nor a comment");
  }
  return result;
}

long QueryRegFileValue(const RegFileContents::Values& values, std::u16string_view name, uint8_t* data,
                       uint32_t& size, uint32_t& type) {
  auto it = values.find(AsciiLower(name));
  if (it == values.end()) return ERROR_FILE_NOT_FOUND_;
  const RegFileValue& value = it->second;
  const auto needed = static_cast<uint32_t>(value.data.size());
  type = value.type;
  if (data && needed > size) {
    size = needed;
    return ERROR_MORE_DATA_;
  }
  if (data && needed) std::memcpy(data, value.data.data(), needed);
  size = needed;
  return ERROR_SUCCESS_;
}

}  // namespace qarx
