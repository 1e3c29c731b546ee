#include "ui/events/recording_ui.h"

#include "common/qarx_types.h"
#include "common/text.h"

namespace qarx::events {

std::string BoxButtons(uint32_t style) { return (style & 0xF) == MB_YESNO ? "yesno" : "ok"; }

std::string BoxIcon(uint32_t style) {
  switch (style & 0xF0) {
    case MB_ICONQUESTION: return "question";
    case MB_ICONWARNING: return "warning";
    default: return "none";
  }
}

std::string BoxModality(BoxOwner owner, uint32_t style) {
  if (style & MB_SYSTEMMODAL) return "system";
  return owner == BoxOwner::Desktop ? "desktop" : "none";
}

std::string AnswerName(int answer) {
  switch (answer) {
    case IDYES: return "yes";
    case IDNO: return "no";
    case IDOK: return "ok";
    default: return std::to_string(answer);
  }
}

int RecordingUi::MessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                            uint32_t style) {
  const int64_t id = nextPromptId_++;
  // Written once the box takes its answer, so a reader may answer it as
  // soon as it reads the question.
  const int answer = inner_.TrackedMessageBox(owner, text, caption, style, [&] {
    sink_.Emit("prompt", EventFields()
                             .Int("id", id)
                             .Str("caption", caption)
                             .Str("text", text)
                             .Str("buttons", BoxButtons(style))
                             .Str("icon", BoxIcon(style))
                             .Str("modal", BoxModality(owner, style)));
  });
  sink_.Emit("answer", EventFields().Int("id", id).Str("answer", AnswerName(answer)));
  return answer;
}

void RecordingUi::ShowWindow(int showCode) {
  // Recorded before the call: showing delivers a frame paint whose own
  // hide must come after this event.
  sink_.Emit("window", EventFields().Int("show", showCode));
  inner_.ShowWindow(showCode);
}

bool RecordingUi::TrayAdd(const TrayIconData& data) {
  sink_.Emit("tray", EventFields().Str("op", "add"));
  return inner_.TrayAdd(data);
}

bool RecordingUi::TrayDelete(const TrayIconData& data) {
  sink_.Emit("tray", EventFields().Str("op", "delete"));
  return inner_.TrayDelete(data);
}

void RecordingUi::ListAddString(const std::u16string& line) {
  sink_.Emit("log", EventFields().Str("text", line));
  inner_.ListAddString(line);
}

void RecordingUi::SetStatusText(const std::u16string& text) {
  sink_.Emit("status", EventFields().Str("text", text));
  inner_.SetStatusText(text);
}

void RecordingUi::SetProgressPos(int pos) {
  sink_.Emit("progress", EventFields().Int("pos", pos));
  inner_.SetProgressPos(pos);
}

int RecordingUi::RunModal(MessageTarget& target) {
  const int result = inner_.RunModal(target);
  sink_.Emit("exit");
  return result;
}

void RecordingUi::TrackPopupMenu(const std::vector<MenuItem>& items) {
  std::vector<std::string> names;
  for (const MenuItem& item : items) names.push_back(item.separator() ? "-" : ToUtf8(item.text));
  sink_.Emit("menu", EventFields().StrList("items", names));
  inner_.TrackPopupMenu(items);
}

}  // namespace qarx::events
