#include "ui/events/activity_entry.h"

#include <cstdio>
#include <cstdlib>

#include "ui/events/json_line.h"

namespace qarx::events {

std::optional<std::string> ActivityEntry(std::string_view ev, const EventFields& fields) {
  const auto text = [&](std::string_view key) { return EscapeText(fields.Text(key), false); };
  std::string entry(ev);
  if (ev == "log" || ev == "status" || ev == "warning" || ev == "failure" || ev == "recovery") {
    entry += " " + text("text");
  } else if (ev == "prompt") {
    entry += " #" + std::to_string(fields.Number("id")) + " [" + text("caption") + "] " + text("text") + " (" +
             text("buttons") + ")";
  } else if (ev == "answer") {
    entry += " #" + std::to_string(fields.Number("id")) + " " + text("answer");
  } else if (ev == "launch") {
    entry += " " + text("path") + (fields.Flag("started") ? "" : " (not started)");
  } else if (ev == "open") {
    entry += " " + text("url");
  } else {
    return std::nullopt;
  }
  return entry;
}

std::string FormatTimestamp(const std::tm& local, int milliseconds, long utcOffsetSeconds) {
  const long offsetMinutes = std::labs(utcOffsetSeconds) / 60;
  char out[64];
  std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, milliseconds,
                utcOffsetSeconds < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
  return out;
}

}  // namespace qarx::events
