#include "ui/events/auto_answer_ui.h"

#include <string>

#include "common/qarx_types.h"

namespace qarx::events {

std::optional<int> ParseAutoAnswer(std::string_view value) {
  std::string lower(value);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (lower == "yes") return IDYES;
  if (lower == "no") return IDNO;
  return std::nullopt;
}

int AutoAnswerUi::MessageBox(BoxOwner, const std::u16string& text, const std::u16string& caption,
                             uint32_t style) {
  const int answer = (style & 0xF) == MB_YESNO ? yesNoAnswer_ : IDOK;
  if (echo_) echo_(caption, text, answer);
  return answer;
}

}  // namespace qarx::events
