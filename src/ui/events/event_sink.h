// The JSON-lines file of observable effects (QARX_EVENTS). Each event is one
// line {"t":ms,"ev":name,...}, written with a single append and flushed at
// once, so a reader never sees half a line. The file is opened on the first
// event: a process that ends before its first event leaves no trace.
// The activity log file, when there is one, is handed every event under the
// same lock, so both files hold their entries in the same order.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "ui/events/activity_log.h"
#include "ui/events/json_line.h"

namespace qarx::events {

class EventSink {
 public:
  using Clock = std::chrono::steady_clock;
  // An empty path disables the stream. t counts from start.
  EventSink(std::string path, Clock::time_point start, ActivityLog* activityLog = nullptr);
  ~EventSink();
  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;

  bool enabled() const { return !path_.empty(); }
  // Thread-safe. fields must not contain "t" or "ev".
  void Emit(std::string_view ev, const EventFields& fields = {});

  // Where a failure to open or write the file is reported (once); stderr by default.
  std::function<void(std::string_view)> onError;

 private:
  std::string path_;
  Clock::time_point start_;
  ActivityLog* activityLog_;
  std::mutex mu_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

}  // namespace qarx::events
