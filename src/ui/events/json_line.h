// The event stream's JSON: one object on one line.
#pragma once

#include <string>
#include <string_view>

#include "ui/events/event_fields.h"

namespace qarx::events {

// Control characters, and with quotes also '"', escaped JSON's way
// (\r \n \t \\ \" \u00XX); UTF-8 passes unchanged. Shared by the event
// stream and the activity log file, whose entries must stay on one line.
std::string EscapeText(std::string_view utf8, bool quotes);

// The JSON string literal of UTF-8 text, quotes included.
std::string JsonQuote(std::string_view utf8);

// The fields as JSON members, without braces: "key":value,...
std::string JsonMembers(const EventFields& fields);

}  // namespace qarx::events
