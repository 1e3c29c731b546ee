// What template 102 must hold, control by control, as every front-end's
// tests read it back from the window they build.
#pragma once

#include <cstdint>

namespace qarx::testing {

enum class ControlRole { Button, List, Progress, Text };

struct TemplateRow {
  uint32_t id;
  ControlRole role;
  const char16_t* text;
  int x, y, width, height;  // dialog units
  bool visible;
};

inline constexpr int kTemplateWidth = 219;
inline constexpr int kTemplateHeight = 40;

// In template order.
inline constexpr TemplateRow kTemplateRows[] = {
    {1000, ControlRole::Button, u"系统信息", 162, 86, 50, 14, false},
    {1001, ControlRole::Button, u"浏览器", 162, 106, 50, 14, false},
    {1004, ControlRole::Button, u"CCID信息", 162, 126, 50, 14, false},
    {1006, ControlRole::Button, u"安装信息", 162, 146, 50, 14, false},
    {1007, ControlRole::Button, u"检测更新", 162, 166, 50, 14, false},
    {1005, ControlRole::Button, u"下载", 162, 186, 50, 14, false},
    {1, ControlRole::Button, u"确认", 162, 206, 50, 14, false},
    {2, ControlRole::Button, u"退出", 162, 226, 50, 14, false},
    {1003, ControlRole::List, u"", 7, 86, 153, 154, false},
    {1008, ControlRole::Progress, u"", 7, 19, 205, 9, true},
    {1009, ControlRole::Text, u"最新安装包下载", 7, 7, 205, 8, true},
};

}  // namespace qarx::testing
