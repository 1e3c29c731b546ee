#include "ui/events/instrumentation.h"

#include <cstdlib>

namespace qarx::events {

Settings SettingsFromEnvironment(const std::function<void(std::string_view)>& error) {
  Settings settings;
  if (const char* path = std::getenv("QARX_EVENTS"); path && *path) settings.eventsPath = path;
  if (const char* answer = std::getenv("QARX_ANSWER"); answer && *answer) {
    settings.autoAnswer = ParseAutoAnswer(answer);
    if (!settings.autoAnswer && error)
      error(std::string("qarx-service: QARX_ANSWER must be yes or no, not '") + answer +
            "'; questions will be asked\n");
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
