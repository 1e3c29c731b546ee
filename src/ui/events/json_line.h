// One JSON object on one line, built field by field in insertion order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qarx::events {

class JsonLine {
 public:
  JsonLine& Str(std::string_view key, std::string_view utf8);
  JsonLine& Str(std::string_view key, std::u16string_view text);
  JsonLine& Int(std::string_view key, int64_t value);
  JsonLine& Bool(std::string_view key, bool value);
  JsonLine& StrList(std::string_view key, const std::vector<std::string>& utf8Items);
  // "{...}" without a line end.
  std::string Text() const { return "{" + body_ + "}"; }
  // The fields without the braces.
  const std::string& Body() const { return body_; }

 private:
  void Key(std::string_view key);
  std::string body_;
};

// The JSON string literal of UTF-8 text, quotes included.
std::string JsonQuote(std::string_view utf8);

}  // namespace qarx::events
