#include "ui/events/event_sink.h"

#include <cerrno>
#include <cstring>

#include "platform/os.h"

namespace qarx::events {

EventSink::EventSink(std::string path, Clock::time_point start, ActivityLog* activityLog)
    : path_(std::move(path)), start_(start), activityLog_(activityLog) {}

EventSink::~EventSink() {
  if (file_) std::fclose(file_);
}

void EventSink::Emit(std::string_view ev, const EventFields& fields) {
  if (path_.empty() && !activityLog_) return;
  // Timed under the lock, so t never goes back from one line to the next.
  std::lock_guard lock(mu_);
  if (activityLog_) activityLog_->Record(ev, fields);
  if (path_.empty() || failed_) return;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
  std::string line = "{\"t\":" + std::to_string(ms) + ",\"ev\":" + JsonQuote(ev);
  if (!fields.all().empty()) line += "," + JsonMembers(fields);
  line += "}\n";

  if (!file_) file_ = os::OpenFile(path_, "a");
  const bool ok = file_ && std::fwrite(line.data(), 1, line.size(), file_) == line.size() &&
                  std::fflush(file_) == 0;
  if (ok) return;
  failed_ = true;
  const std::string message = "qarx-service: cannot write the event stream " + path_ + ": " +
                              std::strerror(errno) + "\n";
  if (onError) {
    onError(message);
  } else {
    std::fputs(message.c_str(), stderr);
  }
}

}  // namespace qarx::events
