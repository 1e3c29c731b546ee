#include "ui/events/json_line.h"

namespace qarx::events {

std::string EscapeText(std::string_view utf8, bool quotes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += quotes ? "\\\"" : "\"";
        break;
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
  return out;
}

std::string JsonQuote(std::string_view utf8) { return "\"" + EscapeText(utf8, true) + "\""; }

std::string JsonMembers(const EventFields& fields) {
  std::string out;
  for (const EventField& field : fields.all()) {
    if (!out.empty()) out.push_back(',');
    out += JsonQuote(field.key);
    out.push_back(':');
    switch (field.kind) {
      case EventField::Kind::Text: out += JsonQuote(field.text); break;
      case EventField::Kind::Number: out += std::to_string(field.number); break;
      case EventField::Kind::Flag: out += field.number ? "true" : "false"; break;
      case EventField::Kind::List:
        out.push_back('[');
        for (size_t i = 0; i < field.items.size(); ++i) {
          if (i) out.push_back(',');
          out += JsonQuote(field.items[i]);
        }
        out.push_back(']');
        break;
    }
  }
  return out;
}

}  // namespace qarx::events
