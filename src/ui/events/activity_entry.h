// The text of the activity log file: one entry per line,
//   <local time> <kind> <what>
// with the event stream's names as kinds:
//   2025-03-04T10:11:12.345+08:00 log 安装信息>>控件:控件安装正常!
//   ... status 开始下载最新的服务程序!
//   ... prompt #1 [Veltrane服务程序提示]  未安装服务程序\r\n是否需要下载安装? (yesno)
//   ... answer #1 yes
//   ... launch /tmp/qarx-1000/VLT_Terminal_Server.exe        (" (not started)" when it failed)
//   ... open http://portal.veltrane.example
//   ... warning qarx-service: this session shows no windows; using the console
//   ... failure download 3 failed: -5 read failed after 1.2 of 3.0 MiB (Connection reset by peer)
//   ... recovery configuration fetched after 4 failures
//   ... dropped 3 entries                                    (entries that could not be written)
// Texts keep their UTF-8; control characters and '\' are escaped (\r \n \t
// \\ \u00XX), so an entry never spans two lines.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "ui/events/event_fields.h"

namespace qarx::events {

// The entry of an event after its time, or nothing for events the file does
// not keep (progress, window, tray, menu, exit).
std::optional<std::string> ActivityEntry(std::string_view ev, const EventFields& fields);

// ISO 8601 local time with milliseconds and the offset from UTC:
// 2025-03-04T10:11:12.345+08:00.
std::string FormatTimestamp(const std::tm& local, int milliseconds, long utcOffsetSeconds);

}  // namespace qarx::events
