// A UiPort decorator that answers every message box itself (QARX_ANSWER), for
// unattended runs: Yes/No boxes get the configured answer, OK boxes OK. The
// front-end never sees the box; echo, when set, is told what was answered.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "ui/events/forwarding_ui.h"

namespace qarx::events {

// "yes" -> IDYES, "no" -> IDNO (ASCII case ignored); anything else nothing.
std::optional<int> ParseAutoAnswer(std::string_view value);

class AutoAnswerUi final : public ForwardingUi {
 public:
  using Echo = std::function<void(const std::u16string& caption, const std::u16string& text, int answer)>;
  AutoAnswerUi(UiPort& inner, int yesNoAnswer, Echo echo = {})
      : ForwardingUi(inner), yesNoAnswer_(yesNoAnswer), echo_(std::move(echo)) {}

  int MessageBox(BoxOwner owner, const std::u16string& text, const std::u16string& caption,
                 uint32_t style) override;

 private:
  int yesNoAnswer_;
  Echo echo_;
};

}  // namespace qarx::events
