#include "ui/events/instrumentation.h"

#include "platform/os.h"

namespace qarx::events {

Settings SettingsFromEnvironment(const std::function<void(std::string_view)>& error) {
  Settings settings;
  if (const auto path = os::Environment("QARX_EVENTS")) settings.eventsPath = *path;
  if (const auto answer = os::Environment("QARX_ANSWER")) {
    settings.autoAnswer = ParseAutoAnswer(*answer);
    if (!settings.autoAnswer && error)
      error("qarx-service: QARX_ANSWER must be yes or no, not '" + *answer + "'; questions will be asked\n");
  }
  return settings;
}

Instrumentation::Instrumentation(const Settings& settings, UiPort& frontEnd, LauncherPort& launcher,
                                 EventSink::Clock::time_point start, AutoAnswerUi::Echo echo)
    : sink_(settings.eventsPath, start), launcher_(launcher, sink_) {
  UiPort* inner = &frontEnd;
  if (settings.autoAnswer) {
    autoAnswer_ = std::make_unique<AutoAnswerUi>(frontEnd, *settings.autoAnswer, std::move(echo));
    inner = autoAnswer_.get();
  }
  ui_ = std::make_unique<RecordingUi>(*inner, sink_);
}

}  // namespace qarx::events
