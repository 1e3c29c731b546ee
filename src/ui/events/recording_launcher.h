// A LauncherPort decorator that writes "launch" and "open" events.
#pragma once

#include "platform/launcher.h"
#include "ui/events/event_sink.h"

namespace qarx::events {

class RecordingLauncher final : public LauncherPort {
 public:
  RecordingLauncher(LauncherPort& inner, EventSink& sink) : inner_(inner), sink_(sink) {}
  uint32_t Execute(const std::u16string& path, int showCode) override;
  uint32_t ExecuteWithCause(const std::u16string& path, int showCode, std::string& cause) override;
  bool OpenUrl(const std::u16string& url, int showCode) override;

 private:
  LauncherPort& inner_;
  EventSink& sink_;
};

}  // namespace qarx::events
