// The fields of one observable effect, in the order they were added. The
// event stream writes them as JSON; the activity log file as a line of text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qarx::events {

struct EventField {
  enum class Kind { Text, Number, Flag, List };
  std::string key;
  Kind kind = Kind::Text;
  std::string text;                // Text: UTF-8
  int64_t number = 0;              // Number; Flag: 0 or 1
  std::vector<std::string> items;  // List: UTF-8
};

class EventFields {
 public:
  EventFields& Str(std::string_view key, std::string_view utf8);
  EventFields& Str(std::string_view key, std::u16string_view text);
  EventFields& Int(std::string_view key, int64_t value);
  EventFields& Bool(std::string_view key, bool value);
  EventFields& StrList(std::string_view key, std::vector<std::string> utf8Items);

  const std::vector<EventField>& all() const { return fields_; }
  // The value of key; empty, 0 or false when there is none.
  std::string_view Text(std::string_view key) const;
  int64_t Number(std::string_view key) const;
  bool Flag(std::string_view key) const { return Number(key) != 0; }

 private:
  EventField& Add(std::string_view key, EventField::Kind kind);
  const EventField* Find(std::string_view key) const;
  std::vector<EventField> fields_;
};

}  // namespace qarx::events
