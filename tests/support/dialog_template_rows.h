// What template 102 must hold, control by control, as every front-end's
// tests read it back from the window they build: the rows the build reads
// from the resource script (link qarx_dialog_template).
#pragma once

#include "ui/emulated/dialog_template.h"

namespace qarx::testing {

using dialog_template::ControlRole;
using TemplateRow = dialog_template::Control;

inline constexpr int kTemplateWidth = dialog_template::kWidth;
inline constexpr int kTemplateHeight = dialog_template::kHeight;

// In template order.
inline constexpr const auto& kTemplateRows = dialog_template::kControls;

}  // namespace qarx::testing
