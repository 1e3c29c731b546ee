// What every front-end gets around it, steered by the environment:
//   QARX_EVENTS=PATH  appends the JSON-lines event stream to PATH;
//   QARX_ANSWER=yes|no answers every message box automatically;
//   QARX_LOG=PATH|-   the activity log file (default: the user's own, see
//                     activity_log_path.h; "-": none).
// main() builds one of these, hands its ui()/launcher() to the core and
// calls FlushBeforeExit() before the process ends.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/activity_record.h"
#include "platform/launcher.h"
#include "ui/events/activity_log.h"
#include "ui/events/auto_answer_ui.h"
#include "ui/events/event_sink.h"
#include "ui/events/recording_launcher.h"
#include "ui/events/recording_ui.h"

namespace qarx::events {

struct Settings {
  std::string eventsPath;          // empty: no stream
  std::string activityLogPath;     // empty: no activity log file
  std::optional<int> autoAnswer;   // IDYES / IDNO, or ask the user
};

// Reads QARX_EVENTS, QARX_LOG (and the variables of the default path) and
// QARX_ANSWER. A QARX_ANSWER other than yes/no, and a missing base folder of
// the activity log, are reported through error (one line each) and ignored.
Settings SettingsFromEnvironment(const std::function<void(std::string_view)>& error);

// The core's entries for the activity log file alone: events "failure" and
// "recovery" with their text.
class RecordingActivity final : public ActivityRecordPort {
 public:
  explicit RecordingActivity(EventSink& sink) : sink_(sink) {}
  void Failure(const std::string& line) override;
  void Recovery(const std::string& line) override;

 private:
  EventSink& sink_;
};

class Instrumentation {
 public:
  Instrumentation(const Settings& settings, UiPort& frontEnd, LauncherPort& launcher,
                  EventSink::Clock::time_point start, AutoAnswerUi::Echo echo = {});
  UiPort& ui() { return *ui_; }
  LauncherPort& launcher() { return launcher_; }
  ActivityRecordPort& record() { return record_; }
  EventSink& sink() { return sink_; }
  // Empty when there is no activity log file.
  std::string activityLogPath() const { return activityLog_ ? activityLog_->path() : std::string(); }
  // The process is about to end without destructors: write the activity
  // log's queued entries first (waiting a bounded time for a slow disk).
  void FlushBeforeExit();
  // A warning of the program's own (a front-end it could not use, a setting
  // it ignored): event "warning", and so an entry of the activity log file,
  // where support finds it when nobody saw standard error.
  void Warn(std::string_view line);

 private:
  std::unique_ptr<ActivityLog> activityLog_;
  EventSink sink_;
  std::unique_ptr<AutoAnswerUi> autoAnswer_;
  std::unique_ptr<RecordingUi> ui_;
  RecordingLauncher launcher_;
  RecordingActivity record_;
};

}  // namespace qarx::events
