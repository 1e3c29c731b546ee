// What every front-end gets around it, steered by the environment:
//   QARX_EVENTS=PATH  appends the JSON-lines event stream to PATH;
//   QARX_ANSWER=yes|no answers every message box automatically.
// main() builds one of these and hands its ui()/launcher() to the core.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/launcher.h"
#include "ui/events/auto_answer_ui.h"
#include "ui/events/event_sink.h"
#include "ui/events/recording_launcher.h"
#include "ui/events/recording_ui.h"

namespace qarx::events {

struct Settings {
  std::string eventsPath;          // empty: no stream
  std::optional<int> autoAnswer;   // IDYES / IDNO, or ask the user
};

// Reads QARX_EVENTS and QARX_ANSWER. A QARX_ANSWER other than yes/no is
// reported through error (one line) and ignored.
Settings SettingsFromEnvironment(const std::function<void(std::string_view)>& error);

class Instrumentation {
 public:
  Instrumentation(const Settings& settings, UiPort& frontEnd, LauncherPort& launcher,
                  EventSink::Clock::time_point start, AutoAnswerUi::Echo echo = {});
  UiPort& ui() { return *ui_; }
  LauncherPort& launcher() { return launcher_; }
  EventSink& sink() { return sink_; }

 private:
  EventSink sink_;
  std::unique_ptr<AutoAnswerUi> autoAnswer_;
  std::unique_ptr<RecordingUi> ui_;
  RecordingLauncher launcher_;
};

}  // namespace qarx::events
