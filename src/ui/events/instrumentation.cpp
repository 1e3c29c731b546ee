#include "ui/events/instrumentation.h"

#include <cstdio>

#include "platform/os.h"
#include "platform/activity_log_path.h"

namespace qarx::events {

namespace {
constexpr std::chrono::seconds kExitFlushWait{2};
}  // namespace

Settings SettingsFromEnvironment(const std::function<void(std::string_view)>& error) {
  Settings settings;
  if (const auto path = os::Environment("QARX_EVENTS")) settings.eventsPath = *path;
  settings.activityLogPath = ActivityLogPath(ProcessEnvironment(), kHostPathStyle);
  if (settings.activityLogPath.empty() && error) {
    const auto chosen = os::Environment("QARX_LOG");
    if (!chosen || *chosen != "-")
      error(kHostPathStyle == PathStyle::Windows
                ? "qarx-service: no activity log file: LOCALAPPDATA is not set (QARX_LOG names one)"
                : "qarx-service: no activity log file: neither XDG_STATE_HOME nor HOME is set (QARX_LOG names one)");
  }
  if (const auto answer = os::Environment("QARX_ANSWER")) {
    settings.autoAnswer = ParseAutoAnswer(*answer);
    if (!settings.autoAnswer && error)
      error("qarx-service: QARX_ANSWER must be yes or no, not '" + *answer + "'; questions will be asked");
  }
  return settings;
}

Instrumentation::Instrumentation(const Settings& settings, UiPort& frontEnd, LauncherPort& launcher,
                                 EventSink::Clock::time_point start, AutoAnswerUi::Echo echo)
    : activityLog_(settings.activityLogPath.empty()
                       ? nullptr
                       : std::make_unique<ActivityLog>(settings.activityLogPath, MakeLogFile())),
      sink_(settings.eventsPath, start, activityLog_.get()),
      launcher_(launcher, sink_),
      record_(sink_) {
  // A file that cannot be written cannot say so itself.
  if (activityLog_)
    activityLog_->onError = [](std::string_view message) {
      std::fwrite(message.data(), 1, message.size(), stderr);
      os::DebugLine(message.substr(0, message.find_last_not_of('\n') + 1));
    };
  UiPort* inner = &frontEnd;
  if (settings.autoAnswer) {
    autoAnswer_ = std::make_unique<AutoAnswerUi>(frontEnd, *settings.autoAnswer, std::move(echo));
    inner = autoAnswer_.get();
  }
  ui_ = std::make_unique<RecordingUi>(*inner, sink_);
}

void RecordingActivity::Failure(const std::string& line) { sink_.Emit("failure", EventFields().Str("text", line)); }

void RecordingActivity::Recovery(const std::string& line) { sink_.Emit("recovery", EventFields().Str("text", line)); }

void Instrumentation::Warn(std::string_view line) { sink_.Emit("warning", EventFields().Str("text", line)); }

void Instrumentation::FlushBeforeExit() {
  if (activityLog_) activityLog_->Flush(kExitFlushWait);
}

}  // namespace qarx::events
