#include "ui/events/event_fields.h"

#include "common/text.h"

namespace qarx::events {

EventField& EventFields::Add(std::string_view key, EventField::Kind kind) {
  EventField& field = fields_.emplace_back();
  field.key = key;
  field.kind = kind;
  return field;
}

EventFields& EventFields::Str(std::string_view key, std::string_view utf8) {
  Add(key, EventField::Kind::Text).text = utf8;
  return *this;
}

EventFields& EventFields::Str(std::string_view key, std::u16string_view text) { return Str(key, ToUtf8(text)); }

EventFields& EventFields::Int(std::string_view key, int64_t value) {
  Add(key, EventField::Kind::Number).number = value;
  return *this;
}

EventFields& EventFields::Bool(std::string_view key, bool value) {
  Add(key, EventField::Kind::Flag).number = value ? 1 : 0;
  return *this;
}

EventFields& EventFields::StrList(std::string_view key, std::vector<std::string> utf8Items) {
  Add(key, EventField::Kind::List).items = std::move(utf8Items);
  return *this;
}

const EventField* EventFields::Find(std::string_view key) const {
  for (const EventField& field : fields_)
    if (field.key == key) return &field;
  return nullptr;
}

std::string_view EventFields::Text(std::string_view key) const {
  const EventField* field = Find(key);
  return field ? std::string_view(field->text) : std::string_view();
}

int64_t EventFields::Number(std::string_view key) const {
  const EventField* field = Find(key);
  return field ? field->number : 0;
}

}  // namespace qarx::events
