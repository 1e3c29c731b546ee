#include "ui/events/json_line.h"

#include "common/text.h"

namespace qarx::events {

std::string JsonQuote(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          out += "\\u00";
          out.push_back(kHex[byte >> 4]);
          out.push_back(kHex[byte & 0xF]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
  return out;
}

void JsonLine::Key(std::string_view key) {
  if (!body_.empty()) body_.push_back(',');
  body_ += JsonQuote(key);
  body_.push_back(':');
}

JsonLine& JsonLine::Str(std::string_view key, std::string_view utf8) {
  Key(key);
  body_ += JsonQuote(utf8);
  return *this;
}

JsonLine& JsonLine::Str(std::string_view key, std::u16string_view text) { return Str(key, ToUtf8(text)); }

JsonLine& JsonLine::Int(std::string_view key, int64_t value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::Bool(std::string_view key, bool value) {
  Key(key);
  body_ += value ? "true" : "false";
  return *this;
}

JsonLine& JsonLine::StrList(std::string_view key, const std::vector<std::string>& utf8Items) {
  Key(key);
  body_.push_back('[');
  for (size_t i = 0; i < utf8Items.size(); ++i) {
    if (i) body_.push_back(',');
    body_ += JsonQuote(utf8Items[i]);
  }
  body_.push_back(']');
  return *this;
}

}  // namespace qarx::events
