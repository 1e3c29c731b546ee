// A UiPort decorator that writes every observable effect of the dialog to
// the event stream and passes the call on to the front-end it wraps.
#pragma once

#include <atomic>
#include <string>

#include "ui/events/event_sink.h"
#include "ui/events/forwarding_ui.h"

namespace qarx::events {

// The stream's names for a message box's style and answer.
std::string BoxButtons(uint32_t style);                   // "yesno" | "ok"
std::string BoxIcon(uint32_t style);                      // "question" | "warning" | "none"
std::string BoxModality(BoxOwner owner, uint32_t style);  // "desktop" | "none" | "system"
std::string AnswerName(int answer);                       // "yes" | "no" | "ok"

class RecordingUi final : public ForwardingUi {
 public:
  RecordingUi(UiPort& inner, EventSink& sink) : ForwardingUi(inner), sink_(sink) {}

  int MessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                 uint32_t style) override;
  void ShowWindow(int showCode) override;
  bool TrayAdd(const TrayIconData& data) override;
  bool TrayDelete(const TrayIconData& data) override;
  void ListAddString(const std::u16string& line) override;
  void SetStatusText(const std::u16string& text) override;
  void SetProgressPos(int pos) override;
  int RunModal(MessageTarget& target) override;
  void TrackPopupMenu(const std::vector<MenuItem>& items) override;

 private:
  EventSink& sink_;
  std::atomic<int64_t> nextPromptId_{1};
};

}  // namespace qarx::events
